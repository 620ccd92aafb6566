// Test controls of the implied-offset merge stand-in.  Not part of the host's
// interface.
#pragma once

#include <pellam/testing_merge.h>

#include <vector>

namespace pellam_test {

// The MCHN_merge_implicit_offset_app_data calls since the last clear.
const std::vector<MergeCall>& implicit_merge_calls();
void clear_implicit_merge_calls();
// The call `countdown` calls from now (1 = the next) raises a host error; 0
// turns that off.
void fail_implicit_merge_at(int countdown);
// The MCHN_chain_has_specified_geometry_type questions (chain, type).
struct GeometryTypeQuestion {
    const RING_header_s* chain;
    int type;
};
const std::vector<GeometryTypeQuestion>& geometry_type_questions();
void clear_geometry_type_questions();

}  // namespace pellam_test
