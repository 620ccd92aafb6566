// Points on a poly-segment poly: section walks, trimming, measuring and
// removing points of point lists.
#include <merrow1/PolySegPoint.h>

#include "chain/chain_record.h"
#include "polyset/poly_seg_point_internal.h"

#include "internal/check.h"

#include <merrow1/int_grid_map.h>
#include <stend/error.h>

#include <cmath>
#include <new>

using Korvo::Math::Point2;

namespace {

const char kFile[] = "PolySegPoint";

LINE_ARC_SEG_s* piece_of(const RING_node_s* segment) { return static_cast<LINE_ARC_SEG_s*>(segment->main_data); }
PNT2_s pnt(const Point2& p) { return PNT2_s{p.x, p.y}; }
Point2 point2(const PNT2_s& p) { return Point2{p.x, p.y}; }
PNT2_s seg_end(const RING_node_s* segment) { return PNT2_s{piece_of(segment)->x, piece_of(segment)->y}; }
// The start of a segment: the end of the previous node (the segment's own end
// for the start record of an open poly, which has no previous node).
PNT2_s seg_start(const RING_node_s* segment) {
    return segment->previous ? seg_end(segment->previous) : seg_end(segment);
}
double dist2(const PNT2_s& a, const PNT2_s& b) { return (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y); }

[[noreturn]] void infinite_loop(int line) {
    ERROR_raise(kFile, line, ERROR_INFINITE_LOOP_CODE, "Infinite Loop Encountered");
}

// Length of the part of a segment from `from` (null: the segment's start) to
// `to` (null: its end).
double part_length(RING_node_s* segment, const Point2* from, const Point2* to) {
    if (!segment->previous) return 0.0;
    const LINE_ARC_SEG_s* piece = piece_of(segment);
    const PNT2_s s = seg_start(segment), e = seg_end(segment);
    const PNT2_s a = from ? pnt(*from) : s, b = to ? pnt(*to) : e;
    if (LINE_ARC_SEG_is_line(piece)) return std::sqrt(dist2(a, b));
    if (!from && !to) return LINE_ARC_SEG_arc_length(&s, piece);
    return LINE_ARC_SEG_sub_arc_length(&a, &b, piece, &s);
}

}  // namespace

namespace merrow1 {
namespace point_list {

void delete_point(RING_header_s* list, RING_node_s* node) {
    if (list->node_main_data_delfunc) {
        RING_delete_node(list, node);
        return;
    }
    auto* point = static_cast<Korvo::Cam::PolySegPoint*>(node->main_data);
    node->main_data = nullptr;
    RING_delete_node(list, node);
    if (point) {
        point->~PolySegPoint();
        CMEM_private_delete_object(point);
    }
}

RING_node_s* remove_point(RING_header_s* list, RING_node_s* node) {
    using Korvo::Cam::PolySegPoint;
    RING_node_s* prev = node->previous;
    RING_node_s* next = node->next;
    if (prev && next && next != node) {
        PolySegPoint* c = PolySegPoint::GetFromList(node);
        PolySegPoint* p = PolySegPoint::GetFromList(prev);
        PolySegPoint* n = PolySegPoint::GetFromList(next);
        // The joined section runs from p to n.  When p's segment after is n's
        // segment the walk reads it as lying on that one segment; it does only
        // when the removed point lay inside that same segment, its own section
        // did not run round the poly and n is not p (a lone point left over
        // has the whole poly as its section).
        RING_node_s* shared = n->GetSegNode();
        const bool simple =
            !c->IsInverted() && (p->GetSegNodeAfter() != shared ||
                                 (c->GetSegNode() == shared && c->GetSegNodeAfter() == shared && prev != next));
        if (!simple) n->SetInverted(true);
    }
    delete_point(list, node);
    return prev == node ? nullptr : prev;
}

RING_header_s* list_poly(const RING_header_s* list) {
    RING_header_s* poly = static_cast<RING_header_s*>(list->main_data);
    if (!poly) ERROR_internal(kFile, __LINE__, "No poly_seg associated with point list.");
    return poly;
}

}  // namespace point_list
}  // namespace merrow1

namespace Korvo {
namespace Cam {

using merrow1::point_list::delete_point;
using merrow1::point_list::remove_point;

PolySegPoint::SectionSegmentFunctor::~SectionSegmentFunctor() {}

PolySegPoint::PolySegPoint(Point2 const& coords, RING_node_s* seg_node, RING_node_s* seg_node_after,
                           bool before_gouge_free)
    : m_coords(coords),
      m_seg_node(seg_node),
      m_before_gouge_free(before_gouge_free),
      m_inverted(false),
      m_seg_node_after(seg_node_after) {}

PolySegPoint* PolySegPoint::GetFromList(RING_node_s* node) {
    return node ? static_cast<PolySegPoint*>(node->main_data) : nullptr;
}

// ---------------------------------------------------------------------------
// Section walks
// ---------------------------------------------------------------------------

bool PolySegPoint::SectionLoop(RING_node_s* point_node, SectionSegmentFunctor& f, bool forward) {
    if (!point_node || !point_node->previous) return false;
    PolySegPoint* p = GetFromList(point_node->previous);
    PolySegPoint* c = GetFromList(point_node);
    RING_node_s* first = p->GetSegNodeAfter();  // the section's first segment
    RING_node_s* last = c->GetSegNode();        // and its last
    if (!first || !last) ERROR_internal(kFile, __LINE__, "PolySegPoint: section without a segment");
    if (first == last && !c->IsInverted()) return f(last, &p->m_coords, &c->m_coords);
    // The walk between the two end segments visits every segment at most
    // once: coming back to where it started, or off an open end, means the
    // end segment is not on the poly.
    if (forward) {
        if (f(first, &p->m_coords, nullptr)) return true;
        for (RING_node_s* s = first->next; s != last; s = s->next) {
            if (!s || s == first) infinite_loop(__LINE__);
            if (f(s, nullptr, nullptr)) return true;
        }
        return f(last, nullptr, &c->m_coords);
    }
    if (f(last, nullptr, &c->m_coords)) return true;
    for (RING_node_s* s = last->previous; s != first; s = s->previous) {
        if (!s || s == last) infinite_loop(__LINE__);
        if (f(s, nullptr, nullptr)) return true;
    }
    return f(first, &p->m_coords, nullptr);
}

TrimPolyFunctor::TrimPolyFunctor(double squared_tolerance, RING_header_s* output, CMEM_pool_s* pool,
                                 POLY_SEG_copy_cb_t copy_cb)
    : m_squared_tolerance(squared_tolerance), m_output(output), m_pool(pool), m_copy_cb(copy_cb), m_handled(true) {}

bool TrimPolyFunctor::operator()(RING_node_s* segment, Point2* from, Point2* to) {
    const PNT2_s e = to ? pnt(*to) : seg_end(segment);
    auto append_point = [&](const PNT2_s& q) {
        RING_insert_after(m_output, m_output->last, LINE_ARC_SEG_create_line(m_pool, &q));
    };
    // The start record of an open poly carries only its point.
    if (!segment->previous) {
        append_point(e);
        return false;
    }
    // A first part too short to keep: the trimmed poly starts at its end.
    if (from && dist2(pnt(*from), e) <= m_squared_tolerance) {
        append_point(e);
        return false;
    }
    if (from) append_point(pnt(*from));
    const PNT2_s s = seg_start(segment);
    const PNT2_s start = from ? pnt(*from) : s;
    if (to && dist2(start, e) <= m_squared_tolerance) return false;
    const LINE_ARC_SEG_s* piece = piece_of(segment);
    LINE_ARC_SEG_s* made = LINE_ARC_SEG_is_line(piece)
                               ? LINE_ARC_SEG_create_line_from_line(m_pool, &e, piece)
                               : LINE_ARC_SEG_create_arc_from_arc(m_pool, &start, &e, piece, &s, 0);
    RING_node_s* node = RING_insert_after(m_output, m_output->last, made);
    if (m_copy_cb) m_copy_cb(m_output, segment, node, &m_handled, nullptr);
    return false;
}

RING_header_s* PolySegPoint::TrimPoly(RING_header_s* poly, RING_node_s* point_node, CMEM_pool_s* pool,
                                      POLY_SEG_copy_cb_t copy_cb, double tolerance) {
    if (!poly || !point_node || !point_node->previous) return nullptr;
    if (!pool) pool = poly->pool;
    RING_header_s* out = POLY_SEG_create(pool);
    try {
        POLY_SEG_copy_header(poly, out);
        TrimPolyFunctor f(tolerance * tolerance, out, pool, copy_cb);
        SectionLoop(point_node, f, true);
    } catch (...) {
        POLY_SEG_destroy(out);
        throw;
    }
    if (out->count < 2) {
        POLY_SEG_destroy(out);
        return nullptr;
    }
    return out;
}

CurveDistanceCmpFunctor::CurveDistanceCmpFunctor(double distance) : m_running(0), m_before(0), m_distance(distance) {}

bool CurveDistanceCmpFunctor::operator()(RING_node_s* segment, Point2* from, Point2* to) {
    m_before = m_running;
    m_running += part_length(segment, from, to);
    return m_running > m_distance;
}

bool PolySegPoint::CurveDistanceCmp(RING_node_s* point_node, double distance, bool not_longer) {
    CurveDistanceCmpFunctor f(distance);
    return not_longer != SectionLoop(point_node, f, true);
}

CurveDistanceTrimFinder::CurveDistanceTrimFinder(double distance, bool backward, double shortest_piece)
    : CurveDistanceCmpFunctor(distance),
      m_backward(backward),
      m_shortest_piece(shortest_piece),
      m_at_start(false),
      m_at_end(false),
      m_never_met(true),
      m_point{0, 0},
      m_seg_node(nullptr),
      m_next_seg_node(nullptr) {}

bool CurveDistanceTrimFinder::operator()(RING_node_s* segment, Point2* from, Point2* to) {
    if (!CurveDistanceCmpFunctor::operator()(segment, from, to)) return false;
    m_never_met = false;
    // Lengths within this part: walked before the crossing, left beyond it.
    const double before = m_distance - m_before;
    const double beyond = m_running - m_distance;
    const double length = m_running - m_before;
    const PNT2_s s = seg_start(segment), e = seg_end(segment);
    const PNT2_s a = from ? pnt(*from) : s, b = to ? pnt(*to) : e;
    if (beyond >= m_shortest_piece) {
        // The crossing, as a fraction from a towards b.
        double t = length > 0 ? before / length : 0.0;
        if (m_backward) t = 1.0 - t;
        PNT2_s q;
        if (LINE_ARC_SEG_is_line(piece_of(segment)))
            q = PNT2_s{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};
        else
            LINE_ARC_SEG_calc_sub_arc_point(&s, piece_of(segment), &a, &b, t, &q);
        m_point = point2(q);
        m_seg_node = m_next_seg_node = segment;
        return true;
    }
    // Too little would be left beyond: snap to the nearer end of the part (b
    // is the end the walk meets last when it runs forward).
    const bool nearer_walk_end = !(before < beyond);
    const bool at_b = m_backward ? !nearer_walk_end : nearer_walk_end;
    if (at_b) {
        if (to) {
            m_at_end = true;
            m_point = *to;
        } else {
            m_point = point2(e);
        }
        m_seg_node = segment;
        m_next_seg_node = segment->next ? segment->next : segment;
    } else {
        if (from) {
            m_at_start = true;
            m_point = *from;
        } else {
            m_point = point2(s);
        }
        // A point at the start of an open poly's first segment lies inside it.
        RING_node_s* prev = segment->previous;
        m_seg_node = prev && prev->previous ? prev : segment;
        m_next_seg_node = segment;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Trimming and removing points
// ---------------------------------------------------------------------------

RING_node_s* PolySegPoint::TrimSectionByCurveDistance(RING_header_s* list, RING_node_s* node, double distance,
                                                      bool backward, double shortest_piece, int* removed) {
    if (removed) *removed = 0;
    MERROW1_REQUIRE(list && node && distance >= 0 && !std::isnan(shortest_piece), "DUE_TO_INVALID_INPUT",
                    nullptr);
    RING_node_s* prev = node->previous;
    if (!prev) return node;  // the start of an open list has no section
    PolySegPoint* c = GetFromList(node);
    PolySegPoint* p = GetFromList(prev);
    CurveDistanceTrimFinder f(distance, backward, shortest_piece);
    SectionLoop(node, f, !backward);
    const bool far_end = backward ? f.AtSectionStart() : f.AtSectionEnd();
    const bool near_end = backward ? f.AtSectionEnd() : f.AtSectionStart();
    if (f.DistanceNeverMet() || far_end) {
        // The whole section goes.
        int count = 1;
        RING_node_s* result;
        if (!node->next || prev == node) {
            // The last point of an open list, or the only point of a closed
            // one: no point lies beyond it to take over the section.
            delete_point(list, node);
            result = prev == node ? nullptr : prev;
        } else if (!prev->previous) {
            // The previous point is the start of an open list and stays.
            result = remove_point(list, node);
        } else if (list->count == 2) {
            result = RemoveNodeAndPrevious(list, node);
        } else {
            result = RemoveNodeAndPrevious(list, node);
            count = 2;
        }
        if (removed) *removed = count;
        return result;
    }
    PolySegPoint* moving = backward ? p : c;
    if (near_end) {
        // The section shrinks to nothing: the moving point joins the other.
        PolySegPoint* other = backward ? c : p;
        RING_node_s* seg = backward ? c->GetSegNode() : p->GetSegNodeAfter();
        moving->SetCoords(other->GetCoords());
        moving->SetSegNode(seg);
        moving->SetSegNodeAfter(seg);
        c->SetInverted(false);
    } else {
        moving->SetCoords(f.ResultPoint());
        moving->SetSegNode(f.ResultSegNode());
        moving->SetSegNodeAfter(f.ResultNextSegNode());
        // A crossing in the first part walked lies between the section's
        // fixed end and that end's segment end: the section no longer runs
        // round the poly.
        if (f.LengthBeforeLast() == 0) c->SetInverted(false);
    }
    // A network point that moved no longer stands where its partners do.
    if (merrow1::point_list::is_network_list(list))
        merrow1::point_list::unlink_network_point(static_cast<PolySegNetworkPoint*>(moving));
    return node;
}

RING_node_s* PolySegPoint::RemoveNode(RING_header_s* list, RING_node_s* node) {
    MERROW1_REQUIRE(list && node, "DUE_TO_INVALID_INPUT", nullptr);
    if (!node->previous || !node->next || node->previous == node)
        ERROR_internal(kFile, __LINE__, "Can't RemoveNode at open start/end or an only node");
    return remove_point(list, node);
}

RING_node_s* PolySegPoint::RemoveNodeAndPrevious(RING_header_s* list, RING_node_s* node) {
    MERROW1_REQUIRE(list && node, "DUE_TO_INVALID_INPUT", nullptr);
    if (list->count == 2) {
        RemoveNode(list, node);
        return nullptr;
    }
    RING_node_s* prev = RemoveNode(list, node);
    return RemoveNode(list, prev);
}

void PolySegPoint::FilterSmallSections(RING_header_s* list, double length) {
    MERROW1_REQUIRE(list && !std::isnan(length), "DUE_TO_INVALID_INPUT", );
    // Passes over the list until one removes nothing; every pass that goes on
    // removed a point, so there are at most as many passes as points.
    const int passes = list->count + 1;
    for (int pass = 0; pass < passes; ++pass) {
        bool changed = false;
        const bool closed = merrow1::is_closed(list);
        RING_node_s* node = list->first;
        for (int steps = list->count; node && steps > 0 && list->count > 0; --steps) {
            RING_node_s* prev = node->previous;
            if (!prev || !CurveDistanceCmp(node, length, true)) {
                node = node->next;
                continue;
            }
            changed = true;
            if (list->count <= (closed ? 2 : 3)) {
                // Too few points to keep any section: the list empties.
                for (int k = list->count; list->first && k > 0; --k) delete_point(list, list->first);
                return;
            }
            RING_node_s* next = node->next;
            PolySegPoint* p = GetFromList(prev);
            PolySegPoint* c = GetFromList(node);
            PolySegPoint* n = GetFromList(next);
            if (!prev->previous) {
                // Behind the start of an open list: the start stays and takes
                // the state of the removed second point.
                p->SetBeforeGougeState(c->BeforeIsGougeFree());
                remove_point(list, node);
            } else if (!next) {
                // The end of an open list stays; its short section and the
                // one before it become one, in the state of the one before:
                // a short last section never hands its state to a longer one.
                c->SetBeforeGougeState(p->BeforeIsGougeFree());
                remove_point(list, prev);
            } else if (p->BeforeIsGougeFree() == n->BeforeIsGougeFree()) {
                // The sections on both sides agree: the short section and its
                // two ends go, the three sections join in their common state.
                remove_point(list, node);
                remove_point(list, prev);
            } else if (c->BeforeIsGougeFree() == n->BeforeIsGougeFree()) {
                remove_point(list, node);  // joins the next section of its state
            } else {
                remove_point(list, prev);  // joins the previous section of its state
            }
            node = next;
        }
        if (!changed || list->count == 0) return;
    }
}

// ---------------------------------------------------------------------------
// Grid and repairs
// ---------------------------------------------------------------------------

void PolySegPoint::ListGetFromGrid(RING_header_s* list) {
    MERROW1_REQUIRE(list, "DUE_TO_INVALID_INPUT", );
    RING_header_s* poly = merrow1::point_list::list_poly(list);
    const POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
    if (!header || !header->scaling) return;
    // The grid origin plus the point as a vector keeps fractions of a grid
    // unit that trimmed points carry.
    double ox = 0, oy = 0;
    INT_GRID_MAP__get_2d_from_grid(header->scaling, 0, 0, &ox, &oy);
    RING_node_s* node = list->first;
    for (int k = 0; node && k < list->count; ++k, node = node->next) {
        PolySegPoint* p = GetFromList(node);
        double vx = 0, vy = 0;
        INT_GRID_MAP__get_2d_vec_from_grid(header->scaling, p->m_coords.x, p->m_coords.y, &vx, &vy);
        p->m_coords = Point2{ox + vx, oy + vy};
    }
}

void PolySegPoint::ListMovePointsPastMissingToStartEnds(RING_header_s* list) {
    MERROW1_REQUIRE(list, "DUE_TO_INVALID_INPUT", );
    RING_header_s* poly = merrow1::point_list::list_poly(list);
    if (!poly->first) return;
    const bool closed = POLY_SEG_is_closed(poly);
    RING_node_s* node = list->first;
    for (int k = 0; node && k < list->count; ++k, node = node->next) {
        PolySegPoint* p = GetFromList(node);
        if (p->m_seg_node == p->m_seg_node_after) continue;
        if (closed) {
            // The after segment must follow the point's segment without
            // passing the ring's first node.
            bool reached = false;
            RING_node_s* s = p->m_seg_node;
            for (int steps = 0; s && steps < poly->count; ++steps) {
                if (s != p->m_seg_node && s == poly->first) break;
                s = s->next;
                if (s == p->m_seg_node_after) {
                    reached = true;
                    break;
                }
            }
            if (!reached) {
                RING_node_s* second = poly->first->next ? poly->first->next : poly->first;
                p->m_seg_node = poly->first;
                p->m_seg_node_after = second;
                p->m_coords = point2(seg_end(poly->first));
            }
        } else {
            if (!p->m_seg_node) p->m_seg_node = poly->first->next ? poly->first->next : poly->first;
            if (!p->m_seg_node_after) p->m_seg_node_after = poly->last;
        }
    }
}

}  // namespace Cam
}  // namespace Korvo
