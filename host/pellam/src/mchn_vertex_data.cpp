// Per-vertex machining data and Z values: tables that tests fill per vertex.
#include <pellam/mchn_vertex_data.h>
#include <pellam/testing_vertex_data.h>

#include <map>
#include <set>

namespace {
std::set<const RING_node_s*> g_changes;
std::map<const RING_node_s*, double> g_z;
std::map<const RING_node_s*, double> g_after_z;
int g_same_queries = 0;
int g_z_queries = 0;
int g_invalid = 0;

bool lookup(const std::map<const RING_node_s*, double>& table, const RING_node_s* vertex, double* z) {
    auto it = table.find(vertex);
    if (it == table.end()) return false;
    if (z) *z = it->second;
    return true;
}
}  // namespace

bool MCHN_segs_have_same_mchn_data(const RING_header_s* chain, const RING_node_s* vertex) {
    ++g_same_queries;
    if (!chain || !vertex) {
        ++g_invalid;
        return false;
    }
    return g_changes.count(vertex) == 0;
}

bool MCHN_ask_vertex_z_coordinate(const RING_header_s* chain, const RING_node_s* vertex, double* z) {
    ++g_z_queries;
    if (!chain || !vertex) {
        ++g_invalid;
        return false;
    }
    return lookup(g_z, vertex, z);
}

bool MCHN_ask_vertex_after_z_coordinate(const RING_header_s* chain, const RING_node_s* vertex, double* z) {
    ++g_z_queries;
    if (!chain || !vertex) {
        ++g_invalid;
        return false;
    }
    return lookup(g_after_z, vertex, z) || lookup(g_z, vertex, z);
}

void MCHN_set_vertex_after_z_coordinate(const RING_header_s* chain, const RING_node_s* vertex, double z) {
    if (!chain || !vertex) {
        ++g_invalid;
        return;
    }
    g_after_z[vertex] = z;
}

void MCHN_set_vertex_z_coordinate(const RING_header_s* chain, const RING_node_s* vertex, double z) {
    if (!chain || !vertex) {
        ++g_invalid;
        return;
    }
    g_z[vertex] = z;
}

namespace pellam_test {
void set_mchn_data_changes_at(const RING_node_s* vertex) { g_changes.insert(vertex); }
void set_vertex_z(const RING_node_s* vertex, double z) { g_z[vertex] = z; }
void set_vertex_after_z(const RING_node_s* vertex, double z) { g_after_z[vertex] = z; }
void reset_vertex_data() {
    g_changes.clear();
    g_z.clear();
    g_after_z.clear();
    g_same_queries = g_z_queries = g_invalid = 0;
}
int same_mchn_data_queries() { return g_same_queries; }
int vertex_z_queries() { return g_z_queries; }
int invalid_vertex_data_calls() { return g_invalid; }
}  // namespace pellam_test
