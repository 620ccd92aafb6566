// The height map of a chain: unrolling, profile edits and the wrap-back.
//
// Building (one pass along the stretch):
//   1. A closed map starts at the vertex of lowest Z (the smaller of Z before
//      and after; the first lowest wins).
//   2. The profile starts at (0, Z after the start), or with a vertical step
//      (0, Z before) - (0, Z after) on a closed map that steps up there.
//   3. Every following vertex adds (H, Z before) and, where Z steps at it,
//      (H, Z after) marked at-vertex: both points lie at the same XY vertex.
// Every HZ vertex records (SrcData, key 17) the XY vertex it lies at and the
// first XY vertex of the stretch its segment covers, so the edits and the
// wrap-back know which XY segments lie under each profile segment.
//
// Wrap-back: each profile segment re-tessellates its XY stretch into lines
// (steps of the line approximation of the path, within t/2, and of the
// sagitta of an arc profile, within t) and writes the profile's Z at every
// new vertex and at the stretch's end.
#include <merrow1/Cam_ChainHZMap.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <pellam/mchn_clone.h>
#include <stend/error.h>
#include <stend/system.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "chain/chain_record.h"
#include "engines/chain_walk.h"
#include "internal/check.h"
#include "internal/vec2.h"

namespace Korvo {
namespace Cam {

using Korvo::Math::Point2;

namespace {

const double kZTolerance = 1e-10;     // Z values closer than this are one
const double kXYCoincident = 2.5e-8;  // an XY point this near a vertex is that vertex
const double kHuge = 1e19;
// A forward tessellation longer than the backward one by this or more is
// pulled back toward the middle of the two.
constexpr double kPullBackMargin = 1e-10;
// The walk bound counts steps of the tolerance, never finer than this, so a
// tolerance of 0 still bounds the walk.
constexpr double kBoundStepFloor = 1e-12;
// The tessellations' slack, per unit of the tolerance: an arc piece count
// leaves this much of the length out, and pulling a forward tessellation back
// stops within this of the middle.
constexpr double kTessellationSlackPerTolerance = 0.01;

using merrow1::arc_of;
using merrow1::is_closed;
using merrow1::segment_length;
using merrow1::vertex_point;
using merrow1::vertex_record;
using merrow1::walk_bound;

ChainHZMap::SrcData* source_of(const RING_node_s* node) {
    return node ? static_cast<ChainHZMap::SrcData*>(APP_DATA__ask_app_data(node->app_data, APP_DATA_SOURCE_VERTEX))
                : nullptr;
}

double distance(const Point2& a, const Point2& b) { return std::hypot(a.x - b.x, a.y - b.y); }

void make_line(RING_header_s* chain, RING_node_s* node) {
    if (CHAIN_seg_ask_type(node) != SEG_POINT || node->previous) CHAIN_seg_set_type(node, SEG_LINE);
    CHAIN_drop_cached_box(chain);
}

// The segment ending at the node becomes an arc about the centre through the
// node's point (its own end record in the chain's pool when it had a point).
void make_arc(RING_header_s* chain, RING_node_s* node, const Point2& centre, bool ccw) {
    CHAIN_vertex_data_s* rec = vertex_record(node);
    const Point2 p = vertex_point(node);
    if (CHAIN_seg_ask_type(node) != SEG_ARC) {
        auto* geometry = static_cast<double*>(CMEM_ALLOC(chain->pool, 1, sizeof(end_segment)));
        if (!geometry) throw std::bad_alloc();
        CMEM_private_delete_object(rec->geometry);
        rec->geometry = geometry;
    }
    end_segment* end = arc_of(node);
    end->x = p.x;
    end->y = p.y;
    end->cx = centre.x;
    end->cy = centre.y;
    end->radius = distance(p, centre);
    end->direction = ccw ? CCW : CW;
    CHAIN_seg_set_type(node, SEG_ARC);
    CHAIN_drop_cached_box(chain);
}

void move_point(RING_header_s* chain, RING_node_s* node, const Point2& p) {
    CHAIN_modify_vertex_point(chain, node, &p);
    CHAIN_drop_cached_box(chain);
}

// Z of the profile segment ending at hz1 at H: linear on a line (the fraction
// capped at 1), the lower half of the circle for an arc that is not CW, the
// upper half for CW.
double profile_z(const RING_node_s* hz1, const Point2& p0, double h) {
    const Point2 p1 = vertex_point(hz1);
    if (CHAIN_seg_ask_type(hz1) == SEG_ARC) {
        const end_segment* arc = arc_of(hz1);
        const double dh = h - arc->cx;
        const double arg = arc->radius * arc->radius - dh * dh;
        const double root = arg > 0 ? std::sqrt(arg) : 0.0;
        return arc->direction == CW ? arc->cy + root : arc->cy - root;
    }
    const double span = p1.x - p0.x;
    const double f = span > 0 ? std::min(1.0, (h - p0.x) / span) : 1.0;
    return p0.y + (p1.y - p0.y) * f;
}

// Arc length from the arc's start to a point on its circle, in its sense.
double arc_length_to(const SEGMENT& arc, const Point2& p) {
    const double sx = arc.start[0] - arc.end->cx, sy = arc.start[1] - arc.end->cy;
    const double px = p.x - arc.end->cx, py = p.y - arc.end->cy;
    double angle = std::atan2(sx * py - sy * px, sx * px + sy * py);
    if (arc.end->direction == CW) angle = -angle;
    if (angle < 0) angle += 2 * merrow1::kPi;
    return angle * arc.end->radius;
}

// A new vertex record of the type at the point, before `before` (null: at
// the end).
RING_node_s* new_vertex_before(RING_header_s* chain, RING_node_s* before, const Point2& p, SEGMENT_TYPE type) {
    auto* rec = CMEM_NEW(chain->pool, CHAIN_vertex_data_s);
    if (!rec) throw std::bad_alloc();
    std::memset(rec, 0, sizeof *rec);
    rec->geometry = static_cast<double*>(CMEM_ALLOC(chain->pool, 1, sizeof(end_segment)));
    if (!rec->geometry) {
        CMEM_private_delete_object(rec);
        throw std::bad_alloc();
    }
    std::memset(rec->geometry, 0, sizeof(end_segment));
    rec->geometry[0] = p.x;
    rec->geometry[1] = p.y;
    RING_node_s* node = RING_insert_after(chain, before ? before->previous : chain->last, rec);
    if (!node) {
        CMEM_private_delete_object(rec->geometry);
        CMEM_private_delete_object(rec);
        throw std::bad_alloc();
    }
    CHAIN_seg_set_type(node, type);
    CHAIN_drop_cached_box(chain);
    return node;
}

// Walks the XY path from the segment ending at `from` towards the one ending
// at `end` to the segment that holds the point *along further on; *along
// becomes the length left on that segment.  More than `bound` steps is a
// broken chain.
RING_node_s* segment_holding(RING_header_s* xy, RING_node_s* from, RING_node_s* end, double* along, long bound) {
    RING_node_s* segment = from;
    for (long steps = 0; segment != end; ++steps) {
        if (steps > bound) MERROW1_INFINITE_LOOP();
        const double length = segment_length(xy, segment);
        if (*along <= length) break;
        *along -= length;
        segment = segment->next;
    }
    return segment;
}

}  // namespace

// ---------------------------------------------------------------------------
// Z data of the XY vertices

double ChainHZMap::GetZBeforeVertex(const RING_node_s* node) {
    const void* z = node ? APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_Z) : nullptr;
    if (!z) ERROR_internal(__FILE__, __LINE__, "No Z Info at Vertex!");
    return *static_cast<const double*>(z);
}

double ChainHZMap::GetZAfterVertex(const RING_node_s* node) {
    if (node)
        if (const void* z = APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_Z_AFTER))
            return *static_cast<const double*>(z);
    return GetZBeforeVertex(node);
}

void ChainHZMap::SetZ(CMEM_pool_s* pool, RING_node_s* node, double z) {
    // Key 40 is shared: a fresh record replaces the reference, the old one is
    // never written through.
    auto* datum = CMEM_NEW(pool, double);
    if (!datum) throw std::bad_alloc();
    *datum = z;
    APP_DATA__remove_app_data(&node->app_data, CHAIN_APP_DATA_Z);
    APP_DATA__add_data(&node->app_data, datum, CHAIN_APP_DATA_Z, pool);
    if (void* after = APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_Z_AFTER)) {
        APP_DATA__remove_app_data(&node->app_data, CHAIN_APP_DATA_Z_AFTER);
        CMEM_private_delete_object(after);
    }
}

void ChainHZMap::SetZAfter(CMEM_pool_s* pool, RING_node_s* node, double z) {
    if (auto* after = static_cast<double*>(APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_Z_AFTER))) {
        *after = z;  // owned by the vertex
        return;
    }
    auto* datum = CMEM_NEW(pool, double);
    if (!datum) throw std::bad_alloc();
    *datum = z;
    APP_DATA__add_data(&node->app_data, datum, CHAIN_APP_DATA_Z_AFTER, pool);
}

// ---------------------------------------------------------------------------
// Building

ChainHZMap::ChainHZMap(RING_header_s* xy, double t, double expansion, RING_node_s* from, RING_node_s* to, bool mark)
    : m_pool(CMEM_private_create_pool(256, "Pool for ChainHZMap", __LINE__, __FILE__)), m_closed(false),
      m_hzChain(nullptr), m_tol(t), m_halfTol(t / 2), m_hSnap(0.0), m_mark(mark) {
    if (!xy || !xy->first) return;
    try {
        const bool chainClosed = is_closed(xy);
        if (!from) from = xy->first;
        if (!to) to = chainClosed ? xy->first : xy->last;
        if (from == to && !chainClosed) return;
        m_closed = chainClosed && from == to;
        const long bound = walk_bound(xy);
        if (m_closed) {
            double lowest = 1e19;
            RING_node_s* v = xy->first;
            for (int i = 0; i < xy->count && v; ++i, v = v->next) {
                const double z = std::min(GetZBeforeVertex(v), GetZAfterVertex(v));
                if (z < lowest) {
                    lowest = z;
                    from = v;
                }
            }
            to = from;
        }
        const double z0 = GetZBeforeVertex(from), z1 = GetZAfterVertex(from);
        const bool step = m_closed && z1 > z0 + kZTolerance;
        m_hzChain = CHAIN_create_empty_chain(nullptr, m_pool);
        merrow1::main_of(m_hzChain)->material_side = LEFT;
        auto append = [&](double h, double z, RING_node_s* xyv, bool atVertex) {
            end_segment end = {h, z, 0, 0, 0, 0};
            RING_node_s* n = ChainAppendVertexGeneral(m_hzChain, &end, m_hzChain->first ? SEG_LINE : SEG_POINT, 1);
            if (!n) throw std::bad_alloc();
            CreateChainSourceData(n, xy, xyv, xyv, atVertex);
        };
        append(0.0, step ? z0 : z1, from, false);
        if (step) append(0.0, z1, from, true);
        double h = 0.0;
        RING_node_s* v = from;
        for (long steps = 0;; ++steps) {
            if (steps > bound) MERROW1_INFINITE_LOOP();
            v = v->next;
            if (!v) break;
            h += segment_length(xy, v);
            const double zb = GetZBeforeVertex(v), za = GetZAfterVertex(v);
            append(h, zb, v, false);
            if (std::fabs(za - zb) > kZTolerance && !(v == to && (!m_closed || step))) append(h, za, v, true);
            if (v == to) break;
        }
        m_hSnap = 10.0 * CHAIN_ask_expanded_set_approx_tolerance(m_hzChain, expansion);
    } catch (...) {
        CMEM_private_delete_pool(m_pool);
        throw;
    }
}

ChainHZMap::~ChainHZMap() {
    if (m_pool) CMEM_private_delete_pool(m_pool);
}

void ChainHZMap::CreateChainSourceData(RING_node_s* hzNode, RING_header_s* xyChain, RING_node_s* endNode,
                                       RING_node_s* startNode, bool atVertex) {
    SrcData* data = source_of(hzNode);
    if (!data) {
        data = CMEM_NEW(m_pool, SrcData);
        if (!data) throw std::bad_alloc();
        APP_DATA__add_data(&hzNode->app_data, data, APP_DATA_SOURCE_VERTEX, m_pool);
    }
    data->chain = xyChain;
    data->end = endNode;
    data->atVertex = atVertex ? 1 : 0;
    data->start = startNode;
}

ChainHZMap::SrcData* ChainHZMap::GetChainSourceData(const RING_node_s* hzNode) {
    if (!hzNode || !hzNode->previous) return nullptr;
    SrcData* data = source_of(hzNode);
    if (!data) ERROR_internal(__FILE__, __LINE__, "Missing source data in GetChainSourceData");
    return data;
}

RING_header_s* ChainHZMap::XYChain() const {
    const SrcData* data = m_hzChain ? source_of(m_hzChain->first) : nullptr;
    return data ? data->chain : nullptr;
}

bool ChainHZMap::IsVertexSeg(RING_node_s* hzNode, RING_node_s*& xyVertex, RING_node_s*& nextXYVertex) {
    const SrcData* data = GetChainSourceData(hzNode);
    if (!data || !data->atVertex) return false;
    xyVertex = data->end;
    nextXYVertex = data->end ? data->end->next : nullptr;
    return true;
}

void ChainHZMap::SetAsPart() {
    if (m_hzChain) CHAIN_set_all_geom_type(m_hzChain, 1);
}

void ChainHZMap::DebugHZChain() const {
    if (MACH__checking_level < 1 || !m_hzChain) return;
    CHAIN_debug_function_data_t data = {};
    data.request = 1;
    data.code = 3;
    data.label = "HZ Chain";
    data.chain = m_hzChain;
    CHAIN_debug_function_interface(&data);
}

// ---------------------------------------------------------------------------
// Profile edits

RING_node_s* ChainHZMap::NewXYVertex(RING_node_s* split, const Point2& p, bool* inserted) {
    RING_header_s* xy = XYChain();
    bool fresh = false;
    RING_node_s* v = CHAIN_insert_vertex(xy, split, &p, nullptr, &fresh);
    if (inserted) *inserted = fresh;
    if (!v || !fresh) return v;
    // A new vertex carries the data of the vertex whose segment it splits
    // (key 131 shared by reference), a clone of its machining segment and,
    // with marking, the mark of an inserted vertex.
    ChainVertexAppCopy(split, xy, v);
    MCHN_clone_segment(xy, split, v);
    if (m_mark) RING_put_node_app_data(xy, v, CHAIN_APP_DATA_SELF_NODE_2, v);
    return v;
}

RING_node_s* ChainHZMap::InsertHZLineSegBefore(RING_node_s* hzNode, const Point2& p) {
    return new_vertex_before(m_hzChain, hzNode, p, SEG_LINE);
}

RING_node_s* ChainHZMap::InsertVtxBefore(RING_node_s* hzNode, Point2& p) {
    if (!m_hzChain || !hzNode) return nullptr;
    SrcData* data = source_of(hzNode);
    if (!data) ERROR_internal(__FILE__, __LINE__, "Missing source data in InsertVtxBefore");
    if (!hzNode->previous) return hzNode;
    const RING_node_s* before = hzNode->previous;
    if (data->atVertex) p.x = vertex_point(hzNode).x;
    bool inserted = false;
    RING_node_s* fresh = CHAIN_insert_vertex(m_hzChain, hzNode, &p, nullptr, &inserted);
    if (!fresh || !inserted) return fresh;
    // The insertion gave the new vertex a copy of hzNode's key-17 record the
    // size of the chain's source link, smaller than SrcData: the map's own
    // record takes its place below.
    if (void* copied = APP_DATA__ask_app_data(fresh->app_data, APP_DATA_SOURCE_VERTEX)) {
        APP_DATA__remove_app_data(&fresh->app_data, APP_DATA_SOURCE_VERTEX);
        CMEM_private_delete_object(copied);
    }
    RING_header_s* xy = data->chain;
    RING_node_s* oldStart = data->start;
    if (data->atVertex) {
        CreateChainSourceData(fresh, xy, data->end, data->end, true);
        return fresh;
    }
    // Walk the stretch from its start to the XY segment that holds p's H.
    double remaining = p.x - vertex_point(before).x;
    RING_node_s* split = segment_holding(xy, oldStart, data->end, &remaining, walk_bound(xy));
    SEGMENT segment;
    double q[2] = {0, 0};
    if (!ChainSegment(xy, split, &segment) || !SegmentDistPoint(&segment, std::max(0.0, remaining), q)) {
        RING_delete_node(m_hzChain, fresh);
        return hzNode;
    }
    bool newXY = false;
    RING_node_s* xyv = NewXYVertex(split, {q[0], q[1]}, &newXY);
    if (!newXY && (xyv == oldStart->previous || xyv == data->end || !xyv)) {
        // The point is an end of the stretch: no new vertex.
        RING_node_s* answer = xyv == data->end ? hzNode : hzNode->previous->previous;
        RING_delete_node(m_hzChain, fresh);
        return answer ? answer : hzNode;
    }
    // A vertex put into the stretch's first segment starts the stretch now.
    CreateChainSourceData(fresh, xy, xyv, newXY && split == oldStart ? xyv : oldStart, false);
    data->start = xyv->next;
    return fresh;
}

RING_node_s* ChainHZMap::InsertSegmentBetween(RING_node_s* from, RING_node_s* to, bool dropStepAfter,
                                              const Point2* arcCentre, bool ccw, RING_node_s** outPrev) {
    if (!m_hzChain || !from || !to || from == to) return nullptr;
    SrcData* target = source_of(to);
    const long bound = walk_bound(m_hzChain);
    // The first ordinary vertex between hands its stretch start to `to`.
    RING_node_s* w = from->next;
    for (long steps = 0; w && w != to && source_of(w)->atVertex; ++steps, w = w->next)
        if (steps > bound) MERROW1_INFINITE_LOOP();
    if (w && w != to) {
        target->start = source_of(w)->start;
        target->atVertex = 0;
    }
    for (long steps = 0; from->next && from->next != to; ++steps) {
        if (steps > bound) MERROW1_INFINITE_LOOP();
        RING_delete_node(m_hzChain, from->next);
    }
    if (arcCentre && !target->atVertex)
        make_arc(m_hzChain, to, *arcCentre, ccw);
    else
        make_line(m_hzChain, to);
    if (outPrev) *outPrev = from;
    if (target->atVertex) {
        SrcData* start = source_of(from);
        if (start && start->atVertex && from->previous) {
            RING_delete_node(m_hzChain, from);
            make_line(m_hzChain, to);
            if (outPrev) *outPrev = to->previous;
        }
        if (dropStepAfter && to->next && source_of(to->next) && source_of(to->next)->atVertex) {
            RING_node_s* successor = to->next;
            RING_delete_node(m_hzChain, to);
            make_line(m_hzChain, successor);
            return successor;
        }
    }
    return to;
}

RING_node_s* ChainHZMap::InsertSegmentAfter(RING_node_s* from, RING_node_s* to, Point2& p, const Point2* arcCentre,
                                            bool ccw, RING_node_s** outPrev) {
    if (!m_hzChain || !from) return nullptr;
    if (!to) to = m_hzChain->last;
    if (from == to) return from;
    const long bound = walk_bound(m_hzChain);
    const double tol = m_hSnap;
    // The last of the at-vertex vertices right after `from`.
    RING_node_s* n = from;
    for (long steps = 0; n != to && n->next && source_of(n->next)->atVertex; ++steps, n = n->next)
        if (steps > bound) MERROW1_INFINITE_LOOP();
    bool arcAllowed = true;
    if (p.x >= vertex_point(n).x + tol) {
        for (long steps = 0; n != to && vertex_point(n).x + tol <= p.x; ++steps, n = n->next)
            if (steps > bound) MERROW1_INFINITE_LOOP();
        if (p.x + tol > vertex_point(n).x) {
            for (long steps = 0; n != from && source_of(n)->atVertex && n->previous; ++steps, n = n->previous)
                if (steps > bound) MERROW1_INFINITE_LOOP();
            p.x = vertex_point(n).x;
            if (n == to) {
                // p ends the segment at `to`'s H; `to` becomes the step after it.
                RING_node_s* q = InsertHZLineSegBefore(to, p);
                SrcData* ts = source_of(to);
                CreateChainSourceData(q, ts->chain, ts->end, ts->start, ts->atVertex != 0);
                ts->atVertex = 1;
                ts->start = ts->end;
                make_line(m_hzChain, to);
                n = q;
            }
        } else {
            n = InsertVtxBefore(n, p);
        }
    } else {
        p.x = vertex_point(n).x;
        arcAllowed = false;
    }
    if (n == from) {
        RING_node_s* next = from->next;
        const SrcData* ns = source_of(next);
        RING_node_s* xyv = ns->atVertex ? ns->end : ns->start->previous;
        RING_node_s* q = InsertHZLineSegBefore(next, {vertex_point(from).x, p.y});
        CreateChainSourceData(q, ns->chain, xyv, xyv, true);
        n = q;
    } else if (n != to) {
        move_point(m_hzChain, n, {vertex_point(n).x, p.y});
    }
    return InsertSegmentBetween(from, n, false, arcAllowed ? arcCentre : nullptr, ccw, outPrev);
}

// ---------------------------------------------------------------------------
// Wrap-back and tessellation

RING_node_s* ChainHZMap::InsertXYLineSegBefore(RING_node_s* from, RING_node_s* segEnd, const Point2& p, double z,
                                                RING_node_s* last) {
    RING_header_s* xy = XYChain();
    RING_node_s* v;
    if (distance(p, vertex_point(segEnd)) <= kXYCoincident)
        v = segEnd;
    else if (segEnd->previous && distance(p, vertex_point(segEnd->previous)) <= kXYCoincident)
        v = segEnd->previous;
    else
        v = NewXYVertex(segEnd, p, nullptr);
    if (!v || v == from) return from;
    const long bound = walk_bound(xy);
    for (long steps = 0; from->next && from->next != v; ++steps) {
        if (steps > bound) MERROW1_INFINITE_LOOP();
        RING_delete_node(xy, from->next);
    }
    make_line(xy, v);
    if (v != last) SetZ(xy->pool, v, z);
    return v;
}

bool ChainHZMap::TessArc(const RING_node_s* hzArc, const Point2& start, Point2& point, double& step) const {
    const end_segment* arc = arc_of(hzArc);
    double s[2] = {start.x, start.y};
    SEGMENT segment = {s, const_cast<end_segment*>(arc), nullptr, SEG_ARC};
    const double length = SEGMENT_swept_length(&segment);
    const double r = arc->radius;
    if (!(r > 0) || !(length > 0)) return false;
    const double piece = 2 * r * std::acos(std::max(-1.0, 1 - m_tol / r));
    if (!(piece > 0)) return false;
    const double n = std::ceil((length - kTessellationSlackPerTolerance * m_tol) / piece);
    if (n < 2) return false;
    step = length / n;
    double q[2];
    SegmentDistPoint(&segment, step, q);
    point = {q[0], q[1]};
    return true;
}

double ChainHZMap::TessMultiSegBiDir(RING_node_s* from, RING_node_s* to, bool forward) const {
    RING_header_s* xy = XYChain();
    RING_node_s* begin = forward ? from : to;
    StringLinearApproximator approx(m_halfTol, m_tol, vertex_point(begin));
    double length = 0.0;
    double firstLength = -1.0;
    const long bound = walk_bound(xy);
    RING_node_s* node = forward ? from->next : to;  // the vertex whose segment is added next
    for (long steps = 0; node; ++steps) {
        if (steps > bound) MERROW1_INFINITE_LOOP();
        SEGMENT segment;
        if (!ChainSegment(xy, node, &segment)) break;
        const double seglen = segment.type == SEG_POINT ? 0.0 : SEGMENT_swept_length(&segment);
        if (firstLength < 0) firstLength = seglen;
        const RING_node_s* reached = forward ? node : node->previous;
        const Point2 target = forward ? Point2{segment.end->x, segment.end->y}
                                      : Point2{segment.start[0], segment.start[1]};
        bool ok;
        if (segment.type == SEG_ARC) {
            Point2 exit;
            bool onArc = false;
            const bool ccw = (segment.end->direction == CCW) == forward;
            ok = approx.AddArc(target, {segment.end->cx, segment.end->cy}, ccw, exit, onArc);
            if (!ok && onArc) {
                double d = arc_length_to(segment, exit);
                if (!forward) d = seglen - d;
                length += std::min(seglen, std::max(0.0, d));
            }
        } else {
            ok = approx.AddLine(target);
        }
        if (!ok) break;
        length += seglen;
        if (reached == (forward ? to : from)) break;
        if (m_mark && !APP_DATA__ask_app_data(reached->app_data, CHAIN_APP_DATA_SELF_NODE_2)) break;
        node = forward ? node->next : node->previous;
    }
    if (length <= 0.0 && firstLength > 0.0) {
        // Not even the first segment passed (an arc bulging more than the
        // tolerance): one sagitta piece of it.
        const RING_node_s* first = forward ? from->next : to;
        SEGMENT segment;
        ChainSegment(xy, first, &segment);
        if (segment.type == SEG_ARC && segment.end->radius > 0) {
            const double r = segment.end->radius;
            length = std::min(firstLength, 2 * r * std::acos(std::max(-1.0, 1 - m_tol / r)));
        } else {
            length = firstLength;
        }
    }
    return length;
}

double ChainHZMap::TessMultiSeg(RING_node_s* from, RING_node_s* to) const {
    const double forward = TessMultiSegBiDir(from, to, true);
    const double backward = TessMultiSegBiDir(from, to, false);
    if (forward - backward < kPullBackMargin) return forward;
    // Pull the forward piece back toward the middle of the two lengths: to
    // the start of a segment within 1% of t of it, into an arc at the middle,
    // or to the end of the line that holds the middle.
    RING_header_s* xy = XYChain();
    const double middle = (forward + backward) / 2;
    const double slack = kTessellationSlackPerTolerance * m_tol;
    double before = 0.0;
    RING_node_s* node = from->next;
    const long bound = walk_bound(xy);
    for (long steps = 0; node && node != to; ++steps, node = node->next) {
        if (steps > bound) MERROW1_INFINITE_LOOP();
        const double length = segment_length(xy, node);
        if (before + length >= middle - slack) break;
        before += length;
    }
    if (!node) return forward;
    if (before > 0 && std::fabs(before - middle) <= slack) return before;
    if (CHAIN_seg_ask_type(node) == SEG_ARC) return std::max(before, middle);
    return std::min(forward, before + segment_length(xy, node));
}

void ChainHZMap::TessAndWrapBackSegment(RING_node_s* hz1) {
    const RING_node_s* hz0 = hz1->previous;
    const Point2 p0 = vertex_point(hz0), p1 = vertex_point(hz1);
    const SrcData* data = source_of(hz1);
    RING_header_s* xy = data->chain;
    RING_node_s* s = data->start;
    RING_node_s* e = data->end;
    if (!(p1.x - p0.x > 0)) return;
    const bool arcProfile = CHAIN_seg_ask_type(hz1) == SEG_ARC;
    const bool pathTess = !(s == e && CHAIN_seg_ask_type(s) != SEG_ARC);
    if (!arcProfile && (!pathTess || std::fabs(p1.y - p0.y) <= kZTolerance)) {
        const long bound = walk_bound(xy);
        long steps = 0;
        for (RING_node_s* v = s; v && v != e; v = v->next) {
            if (++steps > bound) MERROW1_INFINITE_LOOP();
            SetZ(xy->pool, v, p1.y);
        }
        return;
    }
    RING_node_s* cur = s->previous;
    Point2 hzAt = p0;
    bool arcDone = !arcProfile;
    const long bound = 4 * walk_bound(xy) + static_cast<long>(4 * (p1.x - p0.x) / std::max(m_tol, kBoundStepFloor)) + 64;
    for (long steps = 0; cur && cur != e; ++steps) {
        if (steps > bound) MERROW1_INFINITE_LOOP();
        const double pathStep = pathTess ? TessMultiSeg(cur, e) : kHuge;
        double arcStep = kHuge;
        Point2 arcPoint = {0, 0};
        if (!arcDone) {
            double along = 0;
            if (TessArc(hz1, hzAt, arcPoint, along))
                arcStep = arcPoint.x - hzAt.x;
            else
                arcDone = true;
        }
        if (pathStep >= kHuge && arcStep >= kHuge) break;
        double step, z;
        if (arcStep <= pathStep) {
            step = arcStep;
            z = arcPoint.y;
            hzAt = arcPoint;
        } else {
            step = pathStep;
            z = profile_z(hz1, p0, hzAt.x + step);
            hzAt = {hzAt.x + step, z};
        }
        // The XY point `step` along the path from cur.
        double left = step;
        RING_node_s* segEnd = segment_holding(xy, cur->next, e, &left, bound);
        SEGMENT segment;
        double q[2];
        ChainSegment(xy, segEnd, &segment);
        SegmentDistPoint(&segment, std::min(std::max(0.0, left), SEGMENT_swept_length(&segment)), q);
        RING_node_s* v = InsertXYLineSegBefore(cur, segEnd, {q[0], q[1]}, z, e);
        if (v == cur) break;
        cur = v;
    }
    if (cur && cur != e) {
        const long bound2 = walk_bound(xy);
        for (long steps = 0; cur->next && cur->next != e; ++steps) {
            if (steps > bound2) MERROW1_INFINITE_LOOP();
            RING_delete_node(xy, cur->next);
        }
        make_line(xy, e);
    }
}

void ChainHZMap::WrapBackToXYChain() {
    if (!m_hzChain || !m_hzChain->first) return;
    RING_header_s* xy = XYChain();
    CMEM_pool_s* pool = xy->pool;
    const long bound = walk_bound(m_hzChain);
    RING_node_s* first = m_hzChain->first;
    long steps = 0;
    for (RING_node_s* n = first->next; n; n = n->next) {
        if (++steps > bound) MERROW1_INFINITE_LOOP();
        SrcData* data = source_of(n);
        if (n == first->next) {
            // The vertex before the stretch takes the profile's first Z.  On
            // an open map that Z is the one just after it: its Z before
            // belongs to the segment outside the map and stays.
            RING_node_s* start = data->atVertex ? data->end : data->start->previous;
            const double z = vertex_point(first).y;
            if (!m_closed && std::fabs(GetZBeforeVertex(start) - z) > kZTolerance)
                SetZAfter(pool, start, z);
            else
                SetZ(pool, start, z);
        }
        if (data->atVertex) {
            SetZAfter(pool, data->end, vertex_point(n).y);
        } else {
            TessAndWrapBackSegment(n);
            if (!(m_closed && n == m_hzChain->last)) {
                // At the open map's last vertex the Z just after it lies
                // outside the map and stays.
                const bool keepAfter = !m_closed && n == m_hzChain->last;
                const double after = keepAfter ? GetZAfterVertex(data->end) : 0.0;
                const bool stepped = keepAfter && APP_DATA__ask_app_data(data->end->app_data, CHAIN_APP_DATA_Z_AFTER);
                SetZ(pool, data->end, vertex_point(n).y);
                if (stepped && std::fabs(after - vertex_point(n).y) > kZTolerance) SetZAfter(pool, data->end, after);
            }
        }
        if (n == m_hzChain->last) break;
    }
}

}  // namespace Cam
}  // namespace Korvo
