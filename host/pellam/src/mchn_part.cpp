// Recording stand-ins of the host's part predicates: answers set by tests.
#include <pellam/mchn_part.h>
#include <pellam/testing_part.h>

#include <map>

namespace {

std::map<const RING_header_s*, bool> g_strictly_part;
std::map<const RING_node_s*, int> g_junctions;
std::vector<const RING_header_s*> g_part_calls;
std::vector<const RING_node_s*> g_junction_calls;

}  // namespace

bool MCHN_shape_is_strictly_part(const RING_header_s* chain) {
    g_part_calls.push_back(chain);
    auto it = g_strictly_part.find(chain);
    return it != g_strictly_part.end() && it->second;
}

int MCHN_SplitStrictlyPartJunc(const RING_header_s*, const RING_node_s* vertex) {
    g_junction_calls.push_back(vertex);
    auto it = g_junctions.find(vertex);
    return it == g_junctions.end() ? 0 : it->second;
}

namespace pellam_test {
void set_strictly_part(const RING_header_s* chain, bool answer) { g_strictly_part[chain] = answer; }
void set_part_junction(const RING_node_s* vertex, int answer) { g_junctions[vertex] = answer; }
const std::vector<const RING_header_s*>& strictly_part_calls() { return g_part_calls; }
const std::vector<const RING_node_s*>& part_junction_calls() { return g_junction_calls; }
void reset_part() {
    g_strictly_part.clear();
    g_junctions.clear();
    g_part_calls.clear();
    g_junction_calls.clear();
}
}  // namespace pellam_test
