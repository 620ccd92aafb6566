// Networks of points over the polys of a polygon-set intersection: building
// them from the intersection nodes, their half-edge cycles and the list
// operations over a whole network.
#include <merrow1/PolySegNetworkPoint.h>

#include "polyset/poly_seg_point_internal.h"
#include "polyset/psi_internal.h"

#include "internal/check.h"

#include <stend/error.h>

#include <algorithm>
#include <new>
#include <vector>

using Korvo::Cam::PolySegNetworkPoint;
using Korvo::Cam::PolySegPoint;
using Korvo::Math::Point2;
using merrow1::psi::seg_index;

namespace {

const char kFile[] = "PolySegNetworkPoint";

// A cycle of arms or half-edges longer than this is broken: no position of a
// network holds that many.
const int kCycleBound = 1 << 24;

// Flag of a node's flag word for one segment: the sub-segment that ends there
// is gouge free.
const uint16_t kGougeFreeFlag = 0x0002;

[[noreturn]] void infinite_loop(int line) {
    ERROR_raise(kFile, line, ERROR_INFINITE_LOOP_CODE, "Infinite Loop Encountered");
}

typedef PolySegNetworkPoint::HalfEdge HalfEdge;

struct Arm {
    PSI_INTXN_NODE_s* node;
    int arm;
};

// The arms of the cycle around a point, starting at (node, arm).
std::vector<Arm> cycle_of(PSI_INTXN_NODE_s* node, int arm) {
    std::vector<Arm> arms;
    PSI_INTXN_NODE_s* n = node;
    int a = arm;
    do {
        arms.push_back(Arm{n, a});
        if (static_cast<int>(arms.size()) > kCycleBound) infinite_loop(__LINE__);
        PSI_INTXN_NODE_s* nn = n->next_around[a];
        a = n->next_around_idx[a];
        n = nn;
    } while (n != node || a != arm);
    return arms;
}

bool contains(const std::vector<Arm>& arms, const PSI_INTXN_NODE_s* node, int arm) {
    for (const Arm& x : arms)
        if (x.node == node && x.arm == arm) return true;
    return false;
}

// Links the half-edges of the points stored at a cycle's arms into one
// next-around cycle, in the arms' counter-clockwise order: a forward arm
// stands for the after half-edge of its segment's point, a backward arm for
// the before half-edge.  Arms without a point are passed over.
void link_cycle(const std::vector<Arm>& arms) {
    std::vector<HalfEdge*> halves;
    for (const Arm& x : arms) {
        auto* p = static_cast<PolySegNetworkPoint*>(x.node->extended[x.arm & 1]);
        if (!p) continue;
        HalfEdge* h = (x.arm & 2) ? p->After() : p->Before();
        if (std::find(halves.begin(), halves.end(), h) == halves.end()) halves.push_back(h);
    }
    for (size_t i = 0; i < halves.size(); ++i) halves[i]->SetNextAround(halves[(i + 1) % halves.size()]);
}

// Takes the half-edge out of its cycle; it then points at itself.
void unlink_half_edge(HalfEdge* h) {
    HalfEdge* prev = h;
    for (int guard = 0; prev->NextAround() != h; ++guard) {
        if (guard > kCycleBound || !prev->NextAround()) infinite_loop(__LINE__);
        prev = prev->NextAround();
    }
    prev->SetNextAround(h->NextAround());
    h->SetNextAround(h);
}

PolySegNetworkPoint* network_point(RING_node_s* node) {
    return static_cast<PolySegNetworkPoint*>(PolySegPoint::GetFromList(node));
}

// Runs the operation on the list of every node of the network.
template <class Fn>
void for_each_list(RING_header_s* network, Fn fn) {
    RING_node_s* node = network->first;
    for (int k = 0; node && k < network->count; ++k, node = node->next) {
        RING_header_s* list = RING_ask_node_subring(node);
        if (list) fn(list);
    }
}

}  // namespace

namespace merrow1 {
namespace point_list {

void unlink_network_point(PolySegNetworkPoint* point) {
    HalfEdge* before = point->Before();
    HalfEdge* after = point->After();
    unlink_half_edge(before);
    unlink_half_edge(after);
    before->SetNextAround(after);
    after->SetNextAround(before);
}

int delete_network_point(RING_header_s*, RING_node_s* node) {
    auto* point = static_cast<PolySegNetworkPoint*>(node->main_data);
    if (!point) return 1;
    node->main_data = nullptr;
    unlink_network_point(point);
    point->~PolySegNetworkPoint();
    CMEM_private_delete_object(point);
    return 1;
}

}  // namespace point_list
}  // namespace merrow1

namespace Korvo {
namespace Cam {

PolySegNetworkPoint::SegmentCompareFunctor::~SegmentCompareFunctor() {}

PolySegNetworkPoint::HalfEdge::HalfEdge(PolySegNetworkPoint* vtx)
    : m_vtx(vtx), m_next_around(nullptr), m_extended_info(nullptr) {}

bool PolySegNetworkPoint::HalfEdge::IsBefore() const { return this == &m_vtx->m_before; }

PolySegNetworkPoint::HalfEdge* PolySegNetworkPoint::HalfEdge::OtherEnd() const {
    if (IsBefore()) {
        PolySegNetworkPoint* p = m_vtx->Prev();
        return p ? p->After() : nullptr;
    }
    PolySegNetworkPoint* n = m_vtx->Next();
    return n ? n->Before() : nullptr;
}

bool PolySegNetworkPoint::HalfEdge::IsGougeFree() const {
    if (IsBefore()) return m_vtx->BeforeIsGougeFree();
    PolySegNetworkPoint* n = m_vtx->Next();
    return n ? n->BeforeIsGougeFree() : false;
}

PolySegNetworkPoint::PolySegNetworkPoint(Point2 const& coords, RING_node_s* seg_node, RING_node_s* seg_node_after,
                                         bool before_gouge_free)
    : PolySegPoint(coords, seg_node, seg_node_after, before_gouge_free),
      m_list_node(nullptr),
      m_before(this),
      m_after(this) {
    m_before.SetNextAround(&m_after);
    m_after.SetNextAround(&m_before);
}

PolySegNetworkPoint* PolySegNetworkPoint::Next() const {
    return m_list_node ? network_point(m_list_node->next) : nullptr;
}

PolySegNetworkPoint* PolySegNetworkPoint::Prev() const {
    return m_list_node ? network_point(m_list_node->previous) : nullptr;
}

// ---------------------------------------------------------------------------
// Building
// ---------------------------------------------------------------------------

PolySegNetworkPoint* PolySegNetworkPoint::BuildNetworkPoint(PSI_INTXN_NODE_s* a, int arm_a, PSI_INTXN_NODE_s* b,
                                                            int arm_b, RING_header_s* list) {
    const PSI_INTXN_NODE_s* at = a ? a : b;
    const Point2 coords{at->pnt.x, at->pnt.y};
    RING_node_s* seg = a ? a->segs[arm_a & 1] : nullptr;
    RING_node_s* after = b ? b->segs[arm_b & 1] : nullptr;
    const bool gouge_free = a && (a->flags[arm_a & 1] & kGougeFreeFlag) != 0;
    void* memory = CMEM_ALLOC(list->pool, 1, sizeof(PolySegNetworkPoint));
    auto* point = new (memory) PolySegNetworkPoint(coords, seg, after, gouge_free);
    point->SetListNode(RING_insert_after(list, list->last, point));
    // Each half-edge joins the cycle of its arm; one that stands for no arm
    // (the before half-edge at an open start, the after one at an open end)
    // stays on its own.
    point->m_before.SetNextAround(&point->m_before);
    point->m_after.SetNextAround(&point->m_after);
    if (a) a->extended[arm_a & 1] = point;
    if (b) b->extended[arm_b & 1] = point;
    std::vector<Arm> arms;
    if (a) {
        arms = cycle_of(a, arm_a);
        link_cycle(arms);
    }
    if (b && !(a && contains(arms, b, arm_b))) link_cycle(cycle_of(b, arm_b));
    return point;
}

RING_header_s* PolySegNetworkPoint::BuildNetwork(DYNAMIC_ARRAY_s* wrapped_polys, SegmentCompareFunctor& compare,
                                                 CMEM_pool_s* pool) {
    MERROW1_REQUIRE(wrapped_polys && pool, "DUE_TO_INVALID_INPUT", nullptr);
    RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    try {
        for (int i = 0; i < wrapped_polys->num_active; ++i) {
            auto* w = static_cast<PSI_segment_search_wrapper_s*>(DYNAMIC_ARRAY_element_at(wrapped_polys, i));
            if (!w->poly || w->count <= 0 || !w->first_nodes) continue;
            // Segments hidden after wrapping have no nodes: the walk passes
            // over them.
            std::vector<int> kept;
            for (int k = 0; k < w->count; ++k)
                if (w->first_nodes[k]) kept.push_back(k);
            if (kept.empty()) continue;
            RING_header_s* list = RING_create_in_pool(w->poly, RING_TYPE_CHAIN, pool);
            RING_set_node_main_data_delfunc(list, &merrow1::point_list::delete_network_point);
            RING_insert_after(network, network->last, list);
            const bool closed = POLY_SEG_is_closed(w->poly);
            if (!closed) {
                PSI_INTXN_NODE_s* b = w->first_nodes[kept[0]];
                BuildNetworkPoint(nullptr, 0, b, 2 + seg_index(b, w->segs[kept[0]]), list);
            }
            // Walk the nodes along each segment by their forward arms; a node
            // without a forward neighbour ends the segment, where the walk
            // goes on at the next kept segment.
            for (size_t j = 0; j < kept.size(); ++j) {
                RING_node_s* seg = w->segs[kept[j]];
                PSI_INTXN_NODE_s* node = w->first_nodes[kept[j]];
                int idx = seg_index(node, seg);
                for (int guard = 0;; ++guard) {
                    if (idx < 0) ERROR_internal(kFile, __LINE__, "PolySegNetworkPoint: segment lost along its nodes");
                    if (guard > kCycleBound) infinite_loop(__LINE__);
                    PSI_INTXN_NODE_s* next = node->pn_along[2 + idx];
                    if (!next) break;
                    const int nidx = seg_index(next, seg);
                    if (nidx < 0) ERROR_internal(kFile, __LINE__, "PolySegNetworkPoint: segment lost along its nodes");
                    if (next->pn_along[2 + nidx]) {
                        BuildNetworkPoint(next, nidx, next, 2 + nidx, list);
                    } else if (j + 1 == kept.size() && !closed) {
                        BuildNetworkPoint(next, nidx, nullptr, 0, list);
                    } else {
                        const int k = kept[(j + 1) % kept.size()];
                        PSI_INTXN_NODE_s* b = w->first_nodes[k];
                        const int arm_b = 2 + seg_index(b, w->segs[k]);
                        // A plain vertex of the poly (only its own two arms
                        // meet there) makes a point only when the functor
                        // keeps its segments apart.
                        const std::vector<Arm> arms = cycle_of(next, nidx);
                        const bool plain = arms.size() == 2 && contains(arms, b, arm_b);
                        if (!plain || compare(seg, w->segs[k])) BuildNetworkPoint(next, nidx, b, arm_b, list);
                    }
                    node = next;
                    idx = nidx;
                }
            }
            if (closed && list->first) {
                list->last->next = list->first;
                list->first->previous = list->last;
                // The first section runs from the last point round past the
                // poly's start.  When both lie inside one segment (a lone
                // point among them) it would read as lying on that segment
                // alone: the mark says it runs round.
                PolySegPoint* first = PolySegPoint::GetFromList(list->first);
                PolySegPoint* last = PolySegPoint::GetFromList(list->last);
                if (last->GetSegNodeAfter() == first->GetSegNode() && last->GetSegNode() == last->GetSegNodeAfter())
                    first->SetInverted(true);
            }
        }
    } catch (...) {
        RING_delete(network);
        throw;
    }
    return network;
}

// ---------------------------------------------------------------------------
// Network-wide operations
// ---------------------------------------------------------------------------

void PolySegNetworkPoint::NetworkRemoveCoincidences(RING_header_s* network, SegmentCompareFunctor& compare) {
    MERROW1_REQUIRE(network, "DUE_TO_INVALID_INPUT", );
    for_each_list(network, [&](RING_header_s* list) {
        RING_header_s* poly = merrow1::point_list::list_poly(list);
        bool gouge_free = false;  // state of the last point removed
        RING_node_s* node = list->first;
        for (int steps = list->count; node && steps > 0 && list->count > 0; --steps) {
            RING_node_s* next = node->next;
            PolySegNetworkPoint* p = network_point(node);
            // A point marks nothing when it has both neighbours, the state of
            // the section after it, segments not kept apart and no other
            // point at its position.
            const bool alone = p->m_before.NextAround() == &p->m_after && p->m_after.NextAround() == &p->m_before;
            if (node->previous && next && alone && p->BeforeIsGougeFree() == network_point(next)->BeforeIsGougeFree() &&
                !compare(p->GetSegNode(), p->GetSegNodeAfter())) {
                gouge_free = p->BeforeIsGougeFree();
                merrow1::point_list::remove_point(list, node);
                if (next == node) break;
            }
            node = next;
        }
        if (list->count == 0 && poly->first) {
            // The poly keeps one point, at the end of its first segment, whose
            // section runs all the way round.
            RING_node_s* first = poly->first;
            RING_node_s* second = first->next ? first->next : first;
            const LINE_ARC_SEG_s* piece = static_cast<const LINE_ARC_SEG_s*>(first->main_data);
            void* memory = CMEM_ALLOC(list->pool, 1, sizeof(PolySegNetworkPoint));
            auto* point = new (memory) PolySegNetworkPoint(Point2{piece->x, piece->y}, first, second, gouge_free);
            RING_node_s* n = RING_insert_after(list, nullptr, point);
            point->SetListNode(n);
            n->next = n;
            n->previous = n;
        }
    });
}

void PolySegNetworkPoint::NetworkGetFromGrid(RING_header_s* network) {
    MERROW1_REQUIRE(network, "DUE_TO_INVALID_INPUT", );
    for_each_list(network, &PolySegPoint::ListGetFromGrid);
}

void PolySegNetworkPoint::NetworkMovePointsPastMissingToStartEnds(RING_header_s* network) {
    MERROW1_REQUIRE(network, "DUE_TO_INVALID_INPUT", );
    for_each_list(network, &PolySegPoint::ListMovePointsPastMissingToStartEnds);
}

}  // namespace Cam
}  // namespace Korvo
