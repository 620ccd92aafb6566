// Polys of lines and arcs and point lists laid on them by segment and
// fraction, shared by the point-list and network tests.
#pragma once

#include <merrow1/PolySegPoint.h>
#include <merrow1/poly_seg.h>

#include "exact/line_arc_seg.h"

#include <cmath>
#include <new>
#include <vector>

namespace point_list_fixture {

// A piece of a test poly: a line to the point, or an arc to it of the given
// radius (turn 1 counter-clockwise, 0 clockwise).
struct Step {
    PNT2_s to;
    double radius = 0;  // 0: line
    int turn = 1;
};

// A poly through the steps; a closed poly starts at the last step's end, an
// open one at the first step's point.
inline RING_header_s* make_poly(CMEM_pool_s* pool, const std::vector<Step>& steps, bool closed) {
    RING_header_s* p = POLY_SEG_create(pool);
    PNT2_s prev = closed ? steps.back().to : steps.front().to;
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        if (s.radius > 0 && (closed || i > 0))
            POLY_SEG_append_arc(p, &prev, &s.to, s.radius, s.turn);
        else
            POLY_SEG_append_line(p, &s.to);
        prev = s.to;
    }
    if (closed) {
        p->last->next = p->first;
        p->first->previous = p->last;
    }
    return p;
}

inline RING_header_s* box(CMEM_pool_s* pool, double x0, double y0, double x1, double y1) {
    return make_poly(pool, {{{x1, y0}}, {{x1, y1}}, {{x0, y1}}, {{x0, y0}}}, true);
}

// The segments of a poly in order (an open poly's start record left out).
inline std::vector<RING_node_s*> segments(const RING_header_s* poly) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = POLY_SEG_is_closed(poly) ? poly->first : poly->first->next;
    for (; n; n = n->next) {
        out.push_back(n);
        if (n == poly->last) break;
    }
    return out;
}

inline LINE_ARC_SEG_s* piece(const RING_node_s* n) { return static_cast<LINE_ARC_SEG_s*>(n->main_data); }
inline PNT2_s end_of(const RING_node_s* n) { return PNT2_s{piece(n)->x, piece(n)->y}; }
inline PNT2_s start_of(const RING_node_s* n) { return end_of(n->previous); }
inline double length_of(const RING_node_s* n) {
    const PNT2_s s = start_of(n);
    return LINE_ARC_SEG_arc_length(&s, piece(n));
}

// The point at fraction t of a segment (of the angle for an arc).
inline PNT2_s point_at(const RING_node_s* seg, double t) {
    const PNT2_s s = start_of(seg), e = end_of(seg);
    if (LINE_ARC_SEG_is_line(piece(seg))) return PNT2_s{s.x + t * (e.x - s.x), s.y + t * (e.y - s.y)};
    PNT2_s q;
    LINE_ARC_SEG_calc_sub_arc_point(&s, piece(seg), &s, &e, t, &q);
    return q;
}

// A point of a list: on segment `seg` (index into segments()) at fraction t;
// t == 1 is the segment's end (the point's after segment is the next one).
struct At {
    int seg;
    double t;
    bool gouge_free = false;
};

inline Korvo::Cam::PolySegPoint* new_point(CMEM_pool_s* pool, Korvo::Math::Point2 c, RING_node_s* seg,
                                           RING_node_s* after, bool gouge_free) {
    void* m = CMEM_ALLOC(pool, 1, sizeof(Korvo::Cam::PolySegPoint));
    return new (m) Korvo::Cam::PolySegPoint(c, seg, after, gouge_free);
}

// A point list over the poly (closed with the poly), records in its pool.
inline RING_header_s* make_list(CMEM_pool_s* pool, RING_header_s* poly, const std::vector<At>& points) {
    RING_header_s* list = RING_create_in_pool(poly, RING_TYPE_CHAIN, pool);
    const std::vector<RING_node_s*> segs = segments(poly);
    const int n = static_cast<int>(segs.size());
    const bool closed = POLY_SEG_is_closed(poly);
    for (const At& a : points) {
        RING_node_s* seg = segs[a.seg];
        RING_node_s* after = seg;
        if (a.t == 1) after = a.seg + 1 < n ? segs[a.seg + 1] : (closed ? segs[0] : seg);
        const PNT2_s q = point_at(seg, a.t);
        RING_insert_after(list, list->last, new_point(pool, {q.x, q.y}, seg, after, a.gouge_free));
    }
    if (closed && list->first) {
        list->last->next = list->first;
        list->first->previous = list->last;
        // The first section runs round past the poly's start: where it starts
        // and ends on one segment it is marked.
        Korvo::Cam::PolySegPoint* last = static_cast<Korvo::Cam::PolySegPoint*>(list->last->main_data);
        Korvo::Cam::PolySegPoint* first = static_cast<Korvo::Cam::PolySegPoint*>(list->first->main_data);
        const At& a = points.back();
        const At& b = points.front();
        if (last->GetSegNodeAfter() == first->GetSegNode() && a.seg == b.seg && a.t >= b.t) first->SetInverted(true);
    }
    return list;
}

inline Korvo::Cam::PolySegPoint* point_of(RING_node_s* n) { return Korvo::Cam::PolySegPoint::GetFromList(n); }

inline RING_node_s* nth(const RING_header_s* list, int k) {
    RING_node_s* n = list->first;
    for (int i = 0; i < k; ++i) n = n->next;
    return n;
}

// The section length of a point as the length functor sums it.
inline double section_length(RING_node_s* node) {
    Korvo::Cam::CurveDistanceCmpFunctor f(1e300);
    Korvo::Cam::PolySegPoint::SectionLoop(node, f, true);
    return f.RunningLength();
}

inline double dist(const Korvo::Math::Point2& a, const PNT2_s& b) { return std::hypot(a.x - b.x, a.y - b.y); }

}  // namespace point_list_fixture
