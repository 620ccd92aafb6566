// Recording stand-in of the host's machining-chain data.  It keeps no data of
// its own: it records what it was asked, so tests can check the calls.
#include <pellam/mchn.h>
#include <pellam/testing.h>

namespace {
std::vector<pellam_test::Call> g_calls;
}  // namespace

void MCHN_combine_z_data(RING_header_s* chain, RING_node_s* a, RING_node_s* b, RING_node_s* into) {
    g_calls.push_back({"combine_z_data", chain, {a, b, into}});
}

void MCHN_separate_z_data(RING_header_s* chain, RING_node_s* vertex, RING_node_s* first, RING_node_s* second) {
    g_calls.push_back({"separate_z_data", chain, {vertex, first, second}});
}

void MCHN_interpolate_vertex_app_data(const RING_node_s* previous, const RING_node_s* next,
                                      const RING_header_s* chain, RING_node_s* vertex) {
    g_calls.push_back({"interpolate_vertex_app_data", chain, {previous, next, vertex}});
}

namespace pellam_test {
const std::vector<Call>& calls() { return g_calls; }
void clear() { g_calls.clear(); }
}  // namespace pellam_test
