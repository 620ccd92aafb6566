// Debug displays of region-tree shapes and their connected and split
// vertices.
#include <merrow1/pmrp_display.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_display.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_types.h>
#include <glimra/color.h>
#include <velte/cerr.h>

#include "chain/chain_record.h"
#include "engines/chain_walk.h"

namespace {

using merrow1::main_of;
using merrow1::vertex_point;

const PMRP_fpass_connection_s* connection_of(const RING_node_s* vertex) {
    return static_cast<const PMRP_fpass_connection_s*>(
        APP_DATA__ask_app_data(vertex->app_data, CHAIN_APP_DATA_CONNECTION));
}

// A chain made for drawing, deleted on every exit.
struct TemporaryChain {
    RING_header_s* chain;
    ~TemporaryChain() {
        if (chain) RING_delete(chain);
    }
};

// The vertex's point in the coordinates of another chain's plane.
Korvo::Math::Point2 point_in(const RING_header_s* chain, const RING_node_s* vertex, const CSYS& into) {
    double absolute[3];
    CHAIN_ask_vertex_point_abs(chain, vertex, absolute);
    double local[2];
    for (int row = 0; row < 2; ++row) {
        local[row] = 0.0;
        for (int k = 0; k < 3; ++k) local[row] += (absolute[k] - into.origin[k]) * into.matrix[3 * row + k];
    }
    return {local[0], local[1]};
}

// The colour (the displayed part's closest to the type's colour number) and
// marker of a vertex type.
void vertex_style(int vertexType, int* colour, int* marker) {
    struct Style {
        int type, colour, marker;
    };
    static const Style kStyles[] = {{0, 95, 6}, {1, 92, 8}, {2, 151, 9}, {3, 39, 4}, {5, 78, 5}, {6, 148, 3}};
    Style style = {vertexType, 127, 1};
    for (const Style& s : kStyles)
        if (s.type == vertexType) style = s;
    if (colour) *colour = COLOR_ask_closest_color_in_displayed_part(style.colour);
    if (marker) *marker = style.marker;
}

struct TreeOptions {
    int colour;
    bool showVertices;
    bool showConnections;
    int splitColour;
};

RING_header_s* chain_of(const TREE_node_s* node) { return static_cast<RING_header_s*>(node->data); }

void show_tree_node(TREE_s*, TREE_node_s* node, void* data) {
    const auto* options = static_cast<const TreeOptions*>(data);
    PMRP_display_fpass_shape(chain_of(node), options->colour, options->showVertices, options->showConnections);
    CERR__set_error_code(0);
}

void show_split_node(TREE_s*, TREE_node_s* node, void* data) {
    const auto* options = static_cast<const TreeOptions*>(data);
    RING_header_s* chain = chain_of(node);
    PMRP_display_fpass_shape(chain, options->colour, false, false);
    if (chain) CHAIN_display_all_split_vertices(chain, 4, options->splitColour);
    CERR__set_error_code(0);
}

}  // namespace

void PMRP_display_fpass_reg_conn_vertex(RING_header_s* chain, RING_node_s* vertex, bool showConnection,
                                        int* connectedChainColour) {
    if (!chain || !vertex) return;
    const PMRP_fpass_connection_s* connection = connection_of(vertex);
    if (!connection) return;
    int colour = 0, marker = 0;
    vertex_style(connection->type, &colour, &marker);
    CHAIN_display_vertex(chain, vertex, -1, colour, marker);
    const CHAIN_main_data_s* connected = main_of(connection->chain);
    if (showConnection && connected && connection->vertex && main_of(chain)) {
        // The line joins the two markers: both ends in the connected chain's
        // plane.  Coincident points make no line.
        const Korvo::Math::Point2 start = point_in(chain, vertex, connected->csys);
        const Korvo::Math::Point2 end = vertex_point(connection->vertex);
        TemporaryChain line{CHAIN_create_line_chain(&connected->csys, &start, &end, chain->pool)};
        if (line.chain) CHAIN_display_basic_chain(line.chain, 0, colour);
    }
    if (connectedChainColour && connection->chain) {
        CHAIN_display_basic_chain(connection->chain, 0, *connectedChainColour);
        if (connection->vertex) CHAIN_display_vertex(connection->chain, connection->vertex, -1, colour, marker);
    }
}

void PMRP_display_fpass_reg_conn_vertices(RING_header_s* chain, bool showConnections) {
    if (!chain) return;
    RING_node_s* vertex = chain->first;
    for (int i = 0; i < chain->count && vertex; ++i, vertex = vertex->next)
        PMRP_display_fpass_reg_conn_vertex(chain, vertex, showConnections, nullptr);
}

void PMRP_display_fpass_shape(RING_header_s* chain, int colour, bool showVertices, bool showConnections) {
    if (!chain) return;
    CHAIN_display_basic_chain(chain, 0, colour);
    if (showVertices) PMRP_display_fpass_reg_conn_vertices(chain, showConnections);
}

void PMRP_display_fpass_tree(TREE_s* tree, int colour, bool showVertices, bool showConnections) {
    TreeOptions options = {colour, showVertices, showConnections, 0};
    TREE_scan_down_left_right(tree, show_tree_node, &options);
}

void PMRP_display_fpass_tree_split_vertices(TREE_s* tree, int colour, int splitColour) {
    TreeOptions options = {colour, false, false, splitColour};
    TREE_scan_down_left_right(tree, show_split_node, &options);
}
