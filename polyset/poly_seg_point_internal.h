// Shared by the point-list and network modules (PolySegPoint,
// PolySegNetworkPoint): how a list's points are deleted and how network lists
// are told apart from plain ones.
#pragma once

#include <merrow1/PolySegNetworkPoint.h>

namespace merrow1 {
namespace point_list {

// Node main-data delete function of network lists: takes the point out of its
// next-around cycles and frees its record.  A list carrying it is a network
// list.
int delete_network_point(RING_header_s* list, RING_node_s* node);

inline bool is_network_list(const RING_header_s* list) {
    return list && list->node_main_data_delfunc == &delete_network_point;
}

// Takes the point out of every next-around cycle; it is then alone (its two
// half-edges pointing at each other).
void unlink_network_point(Korvo::Cam::PolySegNetworkPoint* point);

// Deletes the node and its point (through the list's node delete function
// when it has one, else the record is freed in its pool).
void delete_point(RING_header_s* list, RING_node_s* node);

// Deletes the point; the next point is marked inverted where the section
// that replaces the two would otherwise read as lying on one segment.
// Returns the previous node (null when there was none).
RING_node_s* remove_point(RING_header_s* list, RING_node_s* node);

// The poly of a list; internal error "No poly_seg associated with point
// list." when it has none.
RING_header_s* list_poly(const RING_header_s* list);

}  // namespace point_list
}  // namespace merrow1
