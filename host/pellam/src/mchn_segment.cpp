// Machining-segment geometry types: a table that tests fill per vertex.
#include <pellam/mchn_segment.h>
#include <pellam/mchn_builders.h>
#include <pellam/testing_segment.h>

#include <velte/ring.h>

#include <map>

namespace {
std::map<const RING_node_s*, int> g_types;
int g_default_type = 0;
int g_queries = 0;
}  // namespace

int MCHN_ask_segment_geom_type(const RING_header_s*, const RING_node_s* vertex) {
    ++g_queries;
    auto it = g_types.find(vertex);
    if (it != g_types.end()) return it->second;
    // Like the host, a vertex with a machining-segment record (key 74) stands
    // for that record's geometry type.
    if (vertex)
        if (const auto* r = static_cast<const MCHN_segment_s*>(APP_DATA__ask_app_data(vertex->app_data, 74)))
            return r->geom_type;
    return g_default_type;
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
