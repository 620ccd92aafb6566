// Test controls of the record manager of the libharlow stand-in.  Not part of
// the host's interface.
#pragma once

#include <harlow/rm.h>

#include <vector>

namespace harlow_test {

// Makes `object` an object of the type and subtype.
void set_entity_type(tag_t object, int type, int subtype);
// The tags RM_ask_entity_type_and_subtype was asked about since the last reset.
const std::vector<tag_t>& rm_calls();
// Forgets the objects and the calls.
void reset_rm();

}  // namespace harlow_test
