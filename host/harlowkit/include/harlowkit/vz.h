// Host solid-kernel queries of edges and faces: circles of edges, the edges
// of a face, edge types and face data.
#pragma once

typedef unsigned int tag_t;

// Edge type of a circular edge.
enum { VZ_EDGE_TYPE_CIRCLE = 3002 };

// The centre and radius of a circular edge; 0 on success, 1 (outputs
// untouched) when the edge is no circle.
int VZ_circle_edge_ask(tag_t edge, double centre[3], double* radius);
// The edges of a face: their number in *count and, in *edges, an array of
// their tags allocated with SM_alloc (the caller frees it with SM_free; null
// for no edges).  0 on success, 1 (count 0, no array) for an unknown face.
int VZ_face_ask_edges_sm(tag_t face, int* count, tag_t** edges);
// The type of an edge (VZ_EDGE_TYPE_CIRCLE for a circle); 0 on success, 1
// for an unknown edge.
int VZ_edge_ask_type(tag_t edge, int* type);
// The data of a face: its type, a point (the centre of a sphere or the
// axis point of a cylinder), a direction and the radius; 0 on success, 1
// (outputs untouched) for an unknown face.
int VZ_face_ask_data(tag_t face, int* type, double point[3], double direction[3], double* radius);
