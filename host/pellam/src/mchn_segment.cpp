// Machining-segment geometry types: a table that tests fill per vertex.
#include <pellam/mchn_segment.h>
#include <pellam/testing_segment.h>

#include <map>

namespace {
std::map<const RING_node_s*, int> g_types;
int g_default_type = 0;
int g_queries = 0;
}  // namespace

int MCHN_ask_segment_geom_type(const RING_header_s*, const RING_node_s* vertex) {
    ++g_queries;
    auto it = g_types.find(vertex);
    return it == g_types.end() ? g_default_type : it->second;
}

namespace pellam_test {
void set_segment_geom_type(const RING_node_s* vertex, int type) { g_types[vertex] = type; }
void set_default_segment_geom_type(int type) { g_default_type = type; }
void reset_segment_geom_types() {
    g_types.clear();
    g_default_type = 0;
    g_queries = 0;
}
int segment_geom_type_queries() { return g_queries; }
}  // namespace pellam_test
