// Overlap finder on poly-segment sets.
//
// Band construction:
// 1. The intersection object; a null or empty set leaves the finder without
//    band.
// 2. A 31-bit uniform grid over the ranges widened by the larger offset.
// 3. Each reference poly of at least 2 nodes is copied twice into the
//    object's pool, each copy's pieces linked to their reference segments
//    (key 265, type 0); the copies are offset to the left and to the right
//    (the offset's inserted corner pieces take their predecessor's link as
//    type 1) and put on the grid.  They are the band's sides.
// 4. The sides are walked together, segment offset by segment offset; both
//    must stand for the same reference segment.  Each pair adds the cross bar
//    at the segment's start (between the pieces' start points) and at its end
//    (between their end points) to the cross-bar poly.
// 5. The sides and the cross-bar poly are wrapped for the intersection object.
//
// Query: a grid copy of the query, linked to the caller's nodes, is wrapped,
// visited against the band loops and taken out of the network again.  The
// visitor reports first the band pieces met by a ray from the query's start
// (their parity per cell says in which cells the query starts), then the
// crossings in order along the query.  Crossings are paired per cell or per
// joint into stretches (FindOverlaps).
#include <merrow1/Cam_PolySegOverlapFinder.h>

#include <merrow1/int_grid_map.h>
#include <merrow1/poly_seg_grid.h>
#include <merrow1/poly_seg_offset.h>
#include <merrow1/psi.h>

#include <quorn/quorn.h>
#include <stend/error.h>

#include <algorithm>
#include <cmath>
#include <exception>

#include "engines/engine_memory.h"
#include "polyset/poly_seg_internal.h"

namespace Korvo {
namespace Cam {

namespace {

const char kFile[] = "Cam_PolySegOverlapFinder.cpp";

// Operations of the intersection object reached through its class table.
typedef void (*WrapPolyFn)(void* psi, RING_header_s* poly, PSI_segment_search_wrapper_s* wrapper);
typedef void (*InitNodesFn)(void* psi, PSI_segment_search_wrapper_s* wrapper);
typedef void (*RemoveWrappedFn)(void* psi, PSI_segment_search_wrapper_s* wrapper);
typedef void (*UnwrapFn)(PSI_segment_search_wrapper_s* wrapper);

using merrow1::poly_seg::end_of;
using merrow1::poly_seg::seg_of;

POLY_SEG_node_link_s* link_of(const RING_node_s* node) {
    return node ? static_cast<POLY_SEG_node_link_s*>(APP_DATA__ask_app_data(node->app_data, POLY_SEG_KEY_NODE_LINK))
                : nullptr;
}

// The segment nodes of a poly in order (an open poly's first node only
// carries its start point).
std::vector<RING_node_s*> segments_of(const RING_header_s* poly) {
    std::vector<RING_node_s*> out;
    if (!poly || !poly->first) return out;
    const bool closed = POLY_SEG_is_closed(poly);
    RING_node_s* n = poly->first;
    for (int i = 0; n && i < poly->count; ++i, n = n->next) {
        if (closed || i > 0) out.push_back(n);
        if (n == poly->last) break;
    }
    return out;
}

// A reference segment's neighbours as segments (an open poly's first node is
// no segment).
bool has_predecessor_segment(const RING_node_s* r) { return r->previous && r->previous->previous; }
bool has_successor_segment(const RING_node_s* r) { return r->next != nullptr; }

// Copy callback: the new node links to the node it was copied from.
void* link_to_source(RING_header_s* poly, RING_node_s* from, RING_node_s* to, bool* handled, void*) {
    return POLY_SEG_set_node_link(poly, from, to, handled);
}

// Copy callback of the offset: an inserted corner piece takes the link of the
// piece before it, as a corner piece.
void* link_corner_piece(RING_header_s* poly, RING_node_s* from, RING_node_s* to, bool*, void*) {
    return POLY_SEG_copy_node_link_from_previous(poly, from, to);
}

// The segment nodes of a poly in the order the intersection object walks
// it: a closed poly from the piece after its first node round to the first
// node, whose end point is where the walk starts.
std::vector<RING_node_s*> path_order(const RING_header_s* poly) {
    std::vector<RING_node_s*> out = segments_of(poly);
    if (POLY_SEG_is_closed(poly) && !out.empty()) std::rotate(out.begin(), out.begin() + 1, out.end());
    return out;
}

// The query's start: its first node's point, open or closed.
PNT2_s start_point(const RING_header_s* poly) { return end_of(poly->first); }

}  // namespace

ICurveOverlapFinder::IOverlapReporter::~IOverlapReporter() = default;
ICurveOverlapFinder::~ICurveOverlapFinder() = default;

void* ICurveOverlapFinder::operator new(std::size_t size) { return merrow1::engine_allocate(size); }
void ICurveOverlapFinder::operator delete(void* p) { Korvo::Memory::CppMemory::free(p); }

// ---------------------------------------------------------------------------
// Band construction
// ---------------------------------------------------------------------------

PolySegOverlapFinder::PolySegOverlapFinder(RING_header_s* set, double offsetLeft, double offsetRight,
                                           const double rangeX[2], const double rangeY[2],
                                           IOverlapReporter* reporter)
    : m_reporter(reporter), m_psi(nullptr), m_bandLoops(nullptr), m_grid(nullptr) {
    // 1. The intersection object.
    m_psi = PSI_create(0, false, false, nullptr, nullptr);
    if (!set || !set->first || !rangeX || !rangeY) return;
    try {
        CMEM_pool_s* pool = m_psi->pool;
        const double floor = 2 * EQ_ask_length_tolerance();
        const double offsets[2] = {std::max(offsetLeft, floor), std::max(offsetRight, floor)};
        // 2. The grid.
        const double m = std::max(offsets[0], offsets[1]);
        m_grid = INT_GRID_MAP__create_uniform(pool, rangeX[0] - m, rangeY[0] - m, 0, rangeX[1] + m, rangeY[1] + m,
                                              0, 31);
        DYNAMIC_ARRAY_s* loops =
            DYNAMIC_ARRAY__create(pool, static_cast<int>(sizeof(PSI_segment_search_wrapper_s)), 5, 0);
        if (!m_grid || !loops) ERROR_internal(kFile, __LINE__, "PolySegOverlapFinder: no memory for the band");
        const WrapPolyFn wrap = PSI_method<WrapPolyFn>(m_psi, PSI_SLOT_WRAP_POLY);
        const InitNodesFn init = PSI_method<InitNodesFn>(m_psi, PSI_SLOT_IXN_INIT_POLY_INTXN_NODES);
        auto add_loop = [&](RING_header_s* poly) {
            // 5. A loop record with at least one piece is registered.
            const int before = loops->num_active;
            auto* w = static_cast<PSI_segment_search_wrapper_s*>(DYNAMIC_ARRAY_take_element(loops));
            if (!w) ERROR_internal(kFile, __LINE__, "PolySegOverlapFinder: no memory for the band");
            *w = PSI_segment_search_wrapper_s{};
            wrap(m_psi, poly, w);
            if (w->count == 0)
                DA_set_num_active(loops, before);
            else
                init(m_psi, w);
        };
        RING_node_s* n = set->first;
        for (int i = 0; n && i < set->count; ++i, n = n->next) {
            RING_header_s* reference = RING_ask_node_subring(n);
            if (reference && reference->type == 1 && reference->count >= 2) {
                // 3. The two sides.
                RING_header_s* sides[2];
                for (int k = 0; k < 2; ++k) {
                    sides[k] = POLY_SEG_copy(reference, pool, link_to_source);
                    POLY_SEG_ask_header(sides[k])->offset = k == 0 ? -offsets[0] : offsets[1];
                    POLY_SEG_offset(sides[k], nullptr, link_corner_piece, nullptr, nullptr, nullptr, nullptr, false);
                    POLY_SEG_put_to_grid(sides[k], m_grid);
                }
                // 4. The cross bars.
                RING_header_s* bars = POLY_SEG_create(pool);
                POLY_SEG_copy_scaling(sides[0], bars);
                const std::vector<RING_node_s*> a = segments_of(sides[0]);
                const std::vector<RING_node_s*> b = segments_of(sides[1]);
                size_t ia = 0, ib = 0;
                for (;;) {
                    while (ia < a.size() && !IsSegmentOffset(a[ia], nullptr)) ++ia;
                    while (ib < b.size() && !IsSegmentOffset(b[ib], nullptr)) ++ib;
                    if (ia >= a.size() || ib >= b.size()) break;
                    RING_node_s* r = link_of(a[ia])->link;
                    if (link_of(b[ib])->link != r)
                        ERROR_internal(kFile, __LINE__, "Offset Mismatch in PolySegOverlapFinder::PolySegOverlapFinder");
                    AppendCrossBar(bars, a[ia]->previous, b[ib]->previous, r, START_BAR);
                    AppendCrossBar(bars, a[ia], b[ib], r, END_BAR);
                    ++ia;
                    ++ib;
                }
                add_loop(sides[0]);
                add_loop(sides[1]);
                add_loop(bars);
            }
            if (n == set->last) break;
        }
        if (loops->num_active > 0) m_bandLoops = loops;
    } catch (...) {
        PSI_destroy(m_psi);
        m_psi = nullptr;
        throw;
    }
}

PolySegOverlapFinder::~PolySegOverlapFinder() { PSI_destroy(m_psi); }

bool PolySegOverlapFinder::IsSegmentOffset(const RING_node_s* node, POLY_SEG_node_link_s** record) {
    POLY_SEG_node_link_s* link = link_of(node);
    if (!link || link->copied != SEGMENT_OFFSET) return false;
    if (record) *record = link;
    return true;
}

RING_node_s* PolySegOverlapFinder::AppendCrossBar(RING_header_s* poly, const RING_node_s* a, const RING_node_s* b,
                                                  RING_node_s* reference, CrossBarType type) {
    if (!poly || !a || !b) return nullptr;
    const PNT2_s pa = end_of(a), pb = end_of(b);
    RING_node_s* move = POLY_SEG_append_line(poly, &pa);
    if (move) seg_of(move)->flags |= POLY_SEG_FLAG_THICKNESS_MERGED;
    RING_node_s* bar = POLY_SEG_append_line(poly, &pb);
    if (bar && reference) {
        bool handled = true;
        POLY_SEG_node_link_s* record = POLY_SEG_set_node_link(poly, reference, bar, &handled);
        if (record) record->copied = type;
    }
    return bar;
}

// ---------------------------------------------------------------------------
// Query
// ---------------------------------------------------------------------------

void PolySegOverlapFinder::FindOverlapWith(RING_header_s* poly) {
    if (!poly || poly->count < 2 || !m_bandLoops) return;
    CMEM_pool_s* pool = m_psi->pool;
    RING_header_s* copy = nullptr;
    PSI_segment_search_wrapper_s w{};
    bool wrapped = false;
    try {
        // 1. The query on the band's grid, as a linked copy: the caller's
        //    poly keeps its coordinates.
        copy = POLY_SEG_copy(poly, pool, link_to_source);
        POLY_SEG_put_to_grid(copy, m_grid);
        PSI_method<WrapPolyFn>(m_psi, PSI_SLOT_WRAP_POLY)(m_psi, copy, &w);
        wrapped = true;
        if (w.count > 0) {
            PSI_method<InitNodesFn>(m_psi, PSI_SLOT_IXN_INIT_POLY_INTXN_NODES)(m_psi, &w);
            FindOverlaps functor(poly, copy, m_reporter, m_grid);
            PSI_method<PSI_set_visit_poly_intersections_fn>(m_psi, PSI_SLOT_SET_VISIT_POLY_INTERSECTIONS)(
                m_psi, m_bandLoops, &w, true, &functor);
            functor.Finish();
        }
        // The band is left as it was for the next query.
        PSI_method<RemoveWrappedFn>(m_psi, PSI_SLOT_REMOVE_WRAPPED_POLY)(m_psi, &w);
        POLY_SEG_destroy(copy);
    } catch (...) {
        if (wrapped) PSI_method<RemoveWrappedFn>(m_psi, PSI_SLOT_REMOVE_WRAPPED_POLY)(m_psi, &w);
        POLY_SEG_destroy(copy);
        throw;
    }
}

// ---------------------------------------------------------------------------
// Pairing of crossings
// ---------------------------------------------------------------------------

PolySegOverlapFinder::FindOverlaps::FindOverlaps(RING_header_s* query, RING_header_s* gridQuery,
                                                 IOverlapReporter* reporter, INT_GRID_MAP_s* grid)
    : m_query(query), m_reporter(reporter), m_grid(grid), m_count(0), m_seeded(false) {
    m_gridSegments = path_order(gridQuery);
    for (RING_node_s* n : m_gridSegments) {
        POLY_SEG_node_link_s* link = link_of(n);
        m_segments.push_back(link ? link->link : nullptr);
    }
}

bool PolySegOverlapFinder::FindOverlaps::OnIntersection(RING_node_s* querySegment, RING_node_s* bandSegment,
                                                        PSI_INTXN_NODE_s* node) {
    const POLY_SEG_node_link_s* record = link_of(bandSegment);
    if (!record || !record->link || record->copied < SEGMENT_OFFSET || record->copied > END_BAR) return false;
    RING_node_s* r = record->link;
    const int type = record->copied;
    if (!querySegment || !node) {
        // A crossing of the ray from the query's start: count it for r's cell
        // (its sides and its two bars bound it) and for the wedge about a
        // joint (its two bars and the corner pieces; where the bars and the
        // corner pieces coincide, inside the corner, they cancel).
        auto count = [](std::vector<RING_node_s*>& keys, std::vector<int>& counts, RING_node_s* key) {
            const auto it = std::find(keys.begin(), keys.end(), key);
            if (it == keys.end()) {
                keys.push_back(key);
                counts.push_back(1);
            } else {
                ++counts[static_cast<size_t>(it - keys.begin())];
            }
        };
        if (type != CORNER_PIECE) count(m_rayCells, m_rayCounts, r);
        if (type == START_BAR && has_predecessor_segment(r)) count(m_rayJoints, m_rayJointCounts, r->previous);
        if ((type == END_BAR || type == CORNER_PIECE) && has_successor_segment(r))
            count(m_rayJoints, m_rayJointCounts, r);
        return false;
    }
    Seed();
    // 2. The crossing.
    Crossing x{};
    const auto at = std::find(m_gridSegments.begin(), m_gridSegments.end(), querySegment);
    if (at == m_gridSegments.end()) return false;
    x.segment = querySegment;
    x.index = static_cast<int>(at - m_gridSegments.begin());
    x.cell = type == CORNER_PIECE ? nullptr : r;
    x.joint = nullptr;
    x.across = nullptr;
    if (type == START_BAR && has_predecessor_segment(r)) x.joint = x.across = r->previous;
    if (type == END_BAR && has_successor_segment(r)) {
        x.joint = r;
        x.across = r->next;
    }
    // A corner piece lies at the joint that ends its reference segment: a
    // query crossing it enters or leaves the wedge about that joint, and the
    // crossing pairs with the bar crossed on the other side of the wedge.
    if (type == CORNER_PIECE && has_successor_segment(r)) {
        x.joint = r;
        x.across = r->next;
    }
    x.type = type;
    x.queryParam = POLY_SEG_calc_param(querySegment, &node->pnt);
    switch (type) {
        case START_BAR: x.referenceParam = 0; break;
        case SEGMENT_OFFSET: x.referenceParam = POLY_SEG_calc_param(bandSegment, &node->pnt); break;
        default: x.referenceParam = 1; break;
    }
    Add(x);
    // 6. The intersection goes on.
    return false;
}

// A query that starts inside cells gets one open crossing per such cell,
// without a query segment, before its first crossing along the query; one
// that starts inside the wedge about a joint gets one for that joint.
void PolySegOverlapFinder::FindOverlaps::Seed() {
    if (m_seeded) return;
    m_seeded = true;
    const PNT2_s start = start_point(m_query);
    for (size_t i = 0; i < m_rayCells.size(); ++i) {
        if (m_rayCounts[i] % 2 == 0) continue;
        Crossing s{};
        s.segment = nullptr;
        s.index = 0;
        s.cell = m_rayCells[i];
        s.joint = nullptr;
        s.across = nullptr;
        s.type = -1;
        s.queryParam = 0;
        s.referenceParam = POLY_SEG_getNearestPointParameterAlongSeg(s.cell, &start);
        m_open.push_back(s);
    }
    for (size_t i = 0; i < m_rayJoints.size(); ++i) {
        if (m_rayJointCounts[i] % 2 == 0) continue;
        Crossing s{};
        s.segment = nullptr;
        s.index = 0;
        s.cell = nullptr;
        s.joint = m_rayJoints[i];
        s.across = s.joint->next;
        s.type = -1;
        s.queryParam = 0;
        s.referenceParam = 1;
        m_open.push_back(s);
    }
    m_count = static_cast<int>(m_open.size());
}

bool PolySegOverlapFinder::FindOverlaps::InsideNeighbour(const Crossing& c, bool jointSide) const {
    return c.across && std::any_of(m_open.begin(), m_open.end(), [&](const Crossing& d) {
               return d.cell && (d.cell == c.across || (jointSide && d.cell == c.joint));
           });
}

// The wedge about a joint (on the outer side of a corner, between the bars
// of its two segments and the corner piece) lies outside the cells on both
// sides of the joint; on the inner side those cells overlap.  A bar crossed
// while the query is inside the cell across its joint, or a corner piece
// crossed inside either cell, lies where the cells overlap: it enters or
// leaves no wedge, and its joint is cleared before it is paired, else it
// would wait for a crossing that the query may never make.
void PolySegOverlapFinder::FindOverlaps::Add(Crossing x) {
    if (x.joint && InsideNeighbour(x, x.type == CORNER_PIECE)) {
        x.joint = nullptr;
        if (!x.cell) return;
    }
    auto matches = [&x](const Crossing& c) {
        return (x.cell && c.cell == x.cell) || (x.joint && c.joint == x.joint);
    };
    // 3. The oldest open crossing of the same cell or joint.
    size_t e = 0;
    while (e < m_open.size() && !matches(m_open[e])) ++e;
    if (e == m_open.size()) {
        Keep(x);
        return;
    }
    // 4. Found.
    size_t f = m_open.size();
    if (x.cell && x.joint) {
        f = e + 1;
        while (f < m_open.size() && !matches(m_open[f])) ++f;
    }
    if (f == m_open.size()) {
        Report(m_open[e], &x);
    } else if (x.joint && m_open[e].joint == x.joint) {
        x.cell = nullptr;
        m_open[f].cell = nullptr;
        Report(m_open[e], &x);
    } else {
        Crossing& fc = m_open[f];
        RING_node_s* former = fc.cell;
        fc.cell = x.cell;
        fc.referenceParam = fc.joint == x.cell ? 1 : 0;
        Report(m_open[e], &fc);
        Report(fc, &x);
        x.cell = former;
    }
    m_open.erase(std::remove_if(m_open.begin(), m_open.end(),
                                [](const Crossing& c) { return !c.cell && !c.joint; }),
                 m_open.end());
    Keep(x);
    m_count = static_cast<int>(m_open.size());
}

void PolySegOverlapFinder::FindOverlaps::Keep(Crossing& x) {
    if (x.cell || x.joint) m_open.push_back(x);
    // A crossing left with only its joint while the query is inside a cell
    // on either side of it stands for no wedge either.
    for (Crossing& c : m_open)
        if (!c.cell && c.joint && InsideNeighbour(c, true)) c.joint = nullptr;
    m_open.erase(std::remove_if(m_open.begin(), m_open.end(),
                                [](const Crossing& c) { return !c.cell && !c.joint; }),
                 m_open.end());
    m_count = static_cast<int>(m_open.size());
}

void PolySegOverlapFinder::FindOverlaps::Finish() {
    Seed();
    // 5. Every crossing still open runs to the query's end.
    std::vector<Crossing> open;
    open.swap(m_open);
    for (Crossing& c : open) Report(c, nullptr);
    m_count = 0;
}

void PolySegOverlapFinder::FindOverlaps::Report(Crossing& e, Crossing* x) {
    if (m_segments.empty()) return;
    const int last = static_cast<int>(m_segments.size()) - 1;
    if (!x) {
        // To the query's end, against e's cell (or its joint).
        const bool joint = !e.cell;
        RING_node_s* r = e.cell ? e.cell : e.joint;
        if (!r) return;
        const PNT2_s end = end_of(m_segments[static_cast<size_t>(last)]);
        ReportRun(e, last, 1.0, POLY_SEG_getNearestPointParameterAlongSeg(r, &end), r, joint);
        e.cell = e.joint = nullptr;
        return;
    }
    // A joint match first: the stretch is measured against the segment that
    // ends at the joint.
    if (e.joint && e.joint == x->joint) {
        RING_node_s* r = e.joint;
        e.joint = x->joint = nullptr;
        ReportRun(e, x->index, x->queryParam, x->referenceParam, r, true);
    } else if (e.cell && e.cell == x->cell) {
        RING_node_s* r = e.cell;
        e.cell = x->cell = nullptr;
        ReportRun(e, x->index, x->queryParam, x->referenceParam, r, false);
    }
}

// One call per query segment from e's segment to the end segment.
void PolySegOverlapFinder::FindOverlaps::ReportRun(const Crossing& e, int endIndex, double endQuery,
                                                   double endReference, RING_node_s* reference, bool joint) {
    if (!m_reporter) return;
    const int first = e.segment ? e.index : 0;
    double previous = e.referenceParam;
    for (int i = first; i <= endIndex; ++i) {
        RING_node_s* segment = m_segments[static_cast<size_t>(i)];
        const double a0 = i == first ? (e.segment ? e.queryParam : 0.0) : 0.0;
        const double a1 = i == endIndex ? endQuery : 1.0;
        double b1;
        if (i == endIndex) {
            b1 = endReference;
        } else {
            const PNT2_s end = end_of(segment);
            b1 = POLY_SEG_getNearestPointParameterAlongSeg(reference, &end);
        }
        const double b0 = previous;
        previous = b1;
        // A run that leaves its first segment at its very end, or reaches its
        // last one at its very start, has nothing on that segment.
        if ((i == first && i < endIndex && a0 >= 1.0) || (i == endIndex && i > first && a1 <= 0.0)) continue;
        if (joint)
            m_reporter->ReportOverlap(nullptr, segment, nullptr, reference, a0, a1, 1.0, 1.0);
        else
            m_reporter->ReportOverlap(nullptr, segment, nullptr, reference, a0, a1, b0, b1);
    }
}

}  // namespace Cam
}  // namespace Korvo
