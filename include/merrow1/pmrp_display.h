// Debug displays of the shapes of a region tree: shapes, their connected
// vertices by vertex type, and split vertices.  Displays only draw: the
// chains and their data are left as they were, and whatever is made in a
// chain's pool for the drawing is deleted again.
#pragma once

#include <merrow1/export.h>
#include <velte/ring.h>
#include <velte/tree.h>

MERROW1_API_BEGIN

// Connection record of a connected vertex (application data
// CHAIN_APP_DATA_CONNECTION on the vertex node): the chain and vertex it is
// connected to, and its vertex type.
struct PMRP_fpass_connection_s {
    RING_header_s* chain;
    RING_node_s* vertex;
    int type;
};

// The chain in the colour; with showVertices its connected vertices too.
void PMRP_display_fpass_shape(RING_header_s* chain, int colour, bool showVertices, bool showConnections);
// Every connected vertex of the chain in order, without connected-chain colour.
void PMRP_display_fpass_reg_conn_vertices(RING_header_s* chain, bool showConnections);
// A vertex with a connection record, by its vertex type: its marker (type
// 0: colour 95, marker 6; 1: 92, 8; 2: 151, 9; 3: 39, 4; 5: 78, 5; 6: 148, 3;
// any other: 127, 1; each colour taken as the displayed part's closest one); with
// showConnection the line from it to the connected vertex (none when the two
// points coincide); with a connected-chain colour the connected chain in that
// colour and the connected vertex's marker.  Nothing for a null chain or
// vertex or a vertex without a record.
void PMRP_display_fpass_reg_conn_vertex(RING_header_s* chain, RING_node_s* vertex, bool showConnection,
                                        int* connectedChainColour);
// The shape of every node (root, down, left, right); each visit clears the
// host error code.
void PMRP_display_fpass_tree(TREE_s* tree, int colour, bool showVertices, bool showConnections);
// Every node's shape in the colour without vertices, then its split vertices
// (APP_DATA_SPLIT_VERTEX_SOURCE) with marker 4 in splitColour.
void PMRP_display_fpass_tree_split_vertices(TREE_s* tree, int colour, int splitColour);

MERROW1_API_END
