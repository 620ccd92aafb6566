// Recording stand-in of the host's machining-segment records: each call makes
// a zeroed record the stand-in keeps, and is remembered with its arguments.
#include <pellam/mchn_builders.h>
#include <pellam/testing_builders.h>

#include <deque>

namespace {
// A deque keeps every record at its address while more are made.
std::deque<MCHN_segment_s> g_records;
std::vector<pellam_test::CreatedSegment> g_created;
}  // namespace

MCHN_segment_s* MCHN_create_segment_wo_custom(RING_header_s* chain, RING_node_s* vertex) {
    g_records.push_back(MCHN_segment_s{});
    MCHN_segment_s* record = &g_records.back();
    g_created.push_back({chain, vertex, record});
    return record;
}

namespace pellam_test {
const std::vector<CreatedSegment>& created_segments() { return g_created; }
void clear_created_segments() {
    g_created.clear();
    g_records.clear();
}
}  // namespace pellam_test
