// Strip ends and uncovered input segments (see merrow1/chain_strip.h).
#include <merrow1/chain_strip.h>

#include "chain/chain_each.h"
#include "chain/chain_fields_guard.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_closest.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>
#include <merrow1/dynamic_array.h>
#include <merrow1/segment.h>

#include "chain/chain_record.h"
#include "internal/record_size.h"
#include "internal/scratch_pool.h"

// Upward call: the strip ends are found on an offset of the chain, made by
// the offset family of the offsets subsystem.
#include <merrow1/chain_offset.h>

#include <pellam/mchn_offset.h>
#include <pellam/mchn_vertex_data.h>
#include <stend/error.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using merrow1::chains_of;
using merrow1::is_closed;
using merrow1::point_of;
using merrow1::vertex_record;

void* datum(const RING_node_s* node, APP_DATA_key_t key) { return APP_DATA__ask_app_data(node->app_data, key); }


// ---------------------------------------------------------------------------
// Strip ends

// A strip-end mark: key 266 whose datum is the vertex itself.  The same key
// carries the host's segment data (a reference to a host record) on other
// vertices, which is no mark.
bool is_strip_end(const RING_node_s* vertex) { return datum(vertex, APP_DATA_STRIP_END) == vertex; }

double squared_distance(const double a[2], const double b[2]) {
    const double dx = a[0] - b[0], dy = a[1] - b[1];
    return dx * dx + dy * dy;
}

// Where the strip end of one end of the chain goes.
struct StripEnd {
    bool found = false;
    double point[2] = {0.0, 0.0};
};

// Step 2: among the open chains of the offset, the one whose first point lies
// within 1.2 |d| of the chain's start and whose last point within 1.2 |d| of
// its end, the one whose nearer end is closest preferred.
void ends_of_matching_offset(RING_header_s* offsets, const double start[2], const double end[2], double d,
                             StripEnd* new_start, StripEnd* new_end) {
    const double limit = 1.44 * d * d;
    double best = 0.0;
    merrow1::for_each_chain(offsets, [&](RING_header_s* offset) {
        if (!offset->first || offset->count < 2 || is_closed(offset)) return;
        const double* a = vertex_record(offset->first)->geometry;
        const double* b = vertex_record(offset->last)->geometry;
        const double to_start = squared_distance(a, start), to_end = squared_distance(b, end);
        if (!(to_start < limit && to_end < limit)) return;
        const double nearer = std::min(to_start, to_end);
        if (new_start->found && !(nearer < best)) return;
        best = nearer;
        *new_start = {true, {a[0], a[1]}};
        *new_end = {true, {b[0], b[1]}};
    });
}

// Step 3: the point of the offset nearest to the chain's end point within
// 10 |d|; else the end point moved sideways by d along the left normal of the
// end tangent (by -d for a RIGHT material side): the outgoing tangent at the
// start, the incoming one at the end.  Not found when the tangent is missing.
StripEnd fallback_end(RING_header_s* chain, RING_header_s* offsets, bool at_start, double d) {
    RING_node_s* vertex = at_start ? chain->first : chain->last;
    const double* p = vertex_record(vertex)->geometry;
    StripEnd out;
    Korvo::Math::Point2 nearest{};
    if (offsets && CHAIN_find_closest_point(offsets, {p[0], p[1]}, 10.0 * std::fabs(d), &nearest)) {
        out = {true, {nearest.x, nearest.y}};
        return out;
    }
    double in[2] = {0.0, 0.0}, leaving[2] = {0.0, 0.0};
    ChainVertexTangent(chain, vertex, in, leaving, nullptr, nullptr);
    const double* t = at_start ? leaving : in;
    if (t[0] == 0.0 && t[1] == 0.0) return out;
    const SIDE side = static_cast<const CHAIN_main_data_s*>(chain->main_data)->material_side;
    const double s = side == RIGHT ? -d : d;
    out = {true, {p[0] - s * t[1], p[1] + s * t[0]}};
    return out;
}

// Takes the record of the key off the vertex (not freed); null when none.
void* take_datum(RING_header_s* chain, RING_node_s* vertex, APP_DATA_key_t key) {
    void* record = datum(vertex, key);
    if (record) RING_delete_app_data_of_node(chain, vertex, key);
    return record;
}

// Step 4 and 5 at the start: a new SEG_POINT start at the point, the former
// first vertex becoming the strip-end line.  Its own provenance (key-17,
// key-20 and key-1 records and its flag word) moves to the new start under
// key 267, as the strip end's source record replaces it.
bool add_start(RING_header_s* chain, const double point[2]) {
    CMEM_pool_s* pool = chain->pool;
    RING_node_s* former = chain->first;
    RING_node_s* neighbour = former->next;
    auto* record = CMEM_NEW(pool, CHAIN_vertex_data_s);
    if (!record) return false;
    *record = CHAIN_vertex_data_s{};
    record->geometry = CMEM_NEW_ARRAY(pool, double, 2);
    auto* saved = CMEM_NEW(pool, CHAIN_strip_end_saved_s);
    RING_node_s* start = record->geometry && saved ? RING_insert_after(chain, nullptr, record) : nullptr;
    if (!start) {
        if (saved) CMEM_private_delete_object(saved);
        if (record->geometry) CMEM_private_delete_object(record->geometry);
        CMEM_private_delete_object(record);
        return false;
    }
    record->geometry[0] = point[0];
    record->geometry[1] = point[1];
    CHAIN_seg_set_type(start, SEG_POINT);
    saved->source_vertex = take_datum(chain, former, APP_DATA_SOURCE_VERTEX);
    saved->source_segment = take_datum(chain, former, APP_DATA_SOURCE_SEGMENT);
    saved->trace_vertex = take_datum(chain, former, CHAIN_APP_DATA_TRACE_VERTEX);
    saved->flags = vertex_record(former)->flags;
    saved->source_surface = vertex_record(former)->source_surface;
    saved->segment_source = datum(former, CHAIN_APP_DATA_SEGMENT_SOURCE);
    saved->segment_data = is_strip_end(former) ? nullptr : datum(former, CHAIN_APP_DATA_SEGMENT_DATA);
    RING_put_node_app_data(chain, start, APP_DATA_STRIP_END_SAVED_SOURCE, saved);
    CHAIN_seg_set_type(former, SEG_LINE);
    MCHN_copy_segment_app_data_wo_src_data(chain, neighbour, former);
    MCHN_copy_segment_app_data_wo_src_data(chain, neighbour, start);
    // The mark goes on after the host's data, which shares its key.
    RING_put_node_app_data(chain, former, APP_DATA_STRIP_END, former);
    CHAIN_assign_source_chain_source_vertex_pc_data(chain, neighbour, false, pool, former);
    return true;
}

// Step 4 and 5 at the end: a strip-end line to the point, taking the host's
// segment data and the Z just after its predecessor.
bool add_end(RING_header_s* chain, const double point[2]) {
    RING_node_s* neighbour = chain->last;
    end_segment end{};
    end.x = point[0];
    end.y = point[1];
    RING_node_s* added = ChainAppendVertex(chain, &end, SEG_LINE);
    if (!added) return false;
    MCHN_copy_segment_app_data_wo_src_data(chain, neighbour, added);
    double z = 0.0;
    if (MCHN_ask_vertex_after_z_coordinate(chain, neighbour, &z)) MCHN_set_vertex_z_coordinate(chain, added, z);
    RING_put_node_app_data(chain, added, APP_DATA_STRIP_END, added);
    CHAIN_assign_source_chain_source_vertex_pc_data(chain, neighbour, false, chain->pool, added);
    return true;
}

// Lengthens an open chain at both ends towards its offset at -d.
void add_strip_ends(RING_header_s* chain, double d) {
    if (!chain->first || !chain->main_data || chain->count < 2 || is_closed(chain)) return;
    const double start[2] = {vertex_record(chain->first)->geometry[0], vertex_record(chain->first)->geometry[1]};
    const double end[2] = {vertex_record(chain->last)->geometry[0], vertex_record(chain->last)->geometry[1]};
    StripEnd new_start, new_end;
    {
        // 1. The offset at -d, made in a scratch pool: the ends are read off
        //    it, and it goes (trace included) with the pool.
        merrow1::ScratchPool pool("CHAIN_AddOpenStripEnds", __FILE__, __LINE__);
        merrow1::run_converting([&] {
            RING_header_s* offsets = CHAIN_offset(chain, -d, ADD_ARC, 0, nullptr, nullptr, nullptr, pool, nullptr);
            // 2. An open offset chain that runs from near the start to near the end.
            if (offsets) ends_of_matching_offset(offsets, start, end, d, &new_start, &new_end);
            // 3. Otherwise each end on its own.
            if (!new_start.found) new_start = fallback_end(chain, offsets, true, d);
            if (!new_end.found) new_end = fallback_end(chain, offsets, false, d);
        });
    }
    // 4 and 5.  An end point that coincides with the chain's end adds no
    // segment of zero length.
    if (new_start.found && squared_distance(new_start.point, start) > CHAIN_COINCIDENT_SQUARED_DISTANCE)
        add_start(chain, new_start.point);
    if (new_end.found && squared_distance(new_end.point, end) > CHAIN_COINCIDENT_SQUARED_DISTANCE)
        add_end(chain, new_end.point);
}

// Gives the saved provenance back to the vertex (its own records replaced)
// and frees the saved record.
void restore_saved(RING_header_s* chain, RING_node_s* vertex, CHAIN_strip_end_saved_s* saved) {
    const APP_DATA_key_t keys[3] = {APP_DATA_SOURCE_VERTEX, APP_DATA_SOURCE_SEGMENT, CHAIN_APP_DATA_TRACE_VERTEX};
    void* records[3] = {saved->source_vertex, saved->source_segment, saved->trace_vertex};
    for (int k = 0; k < 3; ++k) {
        if (void* own = datum(vertex, keys[k])) {
            RING_delete_app_data_of_node(chain, vertex, keys[k]);
            CMEM_private_delete_object(own);
        }
        if (records[k]) RING_put_node_app_data(chain, vertex, keys[k], records[k]);
    }
    // Shared references to host records, which stripping the strip end's
    // source description took off.
    if (saved->segment_source)
        RING_put_node_app_data(chain, vertex, CHAIN_APP_DATA_SEGMENT_SOURCE, saved->segment_source);
    if (saved->segment_data) RING_put_node_app_data(chain, vertex, CHAIN_APP_DATA_SEGMENT_DATA, saved->segment_data);
    vertex_record(vertex)->flags = saved->flags;
    vertex_record(vertex)->source_surface = saved->source_surface;
    CMEM_private_delete_object(saved);
}

void remove_strip_ends(RING_header_s* chain, bool relink) {
    if (!chain->first || is_closed(chain)) return;
    while (chain->count > 2 && is_strip_end(chain->first->next)) {
        RING_node_s* first = chain->first;
        RING_node_s* second = first->next;
        auto* saved = static_cast<CHAIN_strip_end_saved_s*>(datum(first, APP_DATA_STRIP_END_SAVED_SOURCE));
        if (saved) RING_delete_app_data_of_node(chain, first, APP_DATA_STRIP_END_SAVED_SOURCE);
        CHAIN_RemoveSegAppData(second);
        RING_delete_node(chain, first);
        if (saved) restore_saved(chain, second, saved);
        CHAIN_seg_set_type(second, SEG_POINT);
    }
    while (chain->count > 2 && is_strip_end(chain->last)) RING_delete_node(chain, chain->last);
    if (!relink) return;
    RING_node_s* node = chain->first;
    for (int i = 1; i < chain->count; ++i) {
        node = node->next;
        if (!is_strip_end(node)) continue;
        auto* link = static_cast<CHAIN_source_chain_source_vertex_s*>(datum(node, APP_DATA_SOURCE_VERTEX));
        if (!link || !link->source_vertex) continue;
        auto* source = static_cast<CHAIN_source_chain_source_vertex_s*>(
            datum(link->source_vertex, APP_DATA_SOURCE_VERTEX));
        auto* segment = static_cast<CHAIN_source_segment_s*>(datum(node, APP_DATA_SOURCE_SEGMENT));
        if (source) {
            *link = *source;
            if (segment) *segment = {source->source_chain, source->source_vertex};
        } else {
            RING_delete_app_data_of_node(chain, node, APP_DATA_SOURCE_VERTEX);
            CMEM_private_delete_object(link);
            if (segment) {
                RING_delete_app_data_of_node(chain, node, APP_DATA_SOURCE_SEGMENT);
                CMEM_private_delete_object(segment);
            }
        }
    }
}

}  // namespace

void CHAIN_AddOpenStripEnds(RING_header_s* chain_or_list, double d) {
    if (d == 0.0 || !std::isfinite(d)) return;
    merrow1::for_each_chain(chain_or_list, [&](RING_header_s* chain) { add_strip_ends(chain, d); });
}

void CHAIN_RemoveStripStartEnds(RING_header_s* chain_or_list, bool relink) {
    merrow1::for_each_chain(chain_or_list, [&](RING_header_s* chain) { remove_strip_ends(chain, relink); });
}

// ===========================================================================
// Uncovered input segments
// ===========================================================================

namespace {

// Region-set ids of the walk.
const int kInputId = 1;
const int kOutputId = 2;
const int kInputAndOutputId = 3;
// Longest walk along key-20 source links from an output vertex.
const int kMaxSourceSteps = 100;

// A covered interval of an input segment, 0..1 along it.  The records of one
// vertex form a list sorted by start, disjoint, in the operation's block
// array; key 5 on the vertex holds its head, or the vertex node itself when
// the whole segment is covered.
struct CoveredInterval {
    double start;
    double end;
    CoveredInterval* next;
};
static_assert(sizeof(CoveredInterval) ==
                  merrow1::round_up(2 * sizeof(double) + sizeof(CoveredInterval*), alignof(CoveredInterval)),
              "interval records hold two doubles and a link");

// The key-5 marks of the input vertices and the interval records behind
// them; the marks are removed from every input vertex and the records freed
// on every exit.
class CoverageMarks {
public:
    explicit CoverageMarks(const std::vector<RING_header_s*>& inputs) : m_inputs(inputs) {
        m_array = DYNAMIC_ARRAY__create(m_pool, sizeof(CoveredInterval), 5, 0);
    }
    ~CoverageMarks() {
        for (RING_header_s* chain : m_inputs) {
            RING_node_s* node = chain->first;
            for (int i = 0; i < chain->count && node; ++i, node = node->next) clear(chain, node);
        }
        DYNAMIC_ARRAY__destroy(m_array);
    }
    CoverageMarks(const CoverageMarks&) = delete;
    CoverageMarks& operator=(const CoverageMarks&) = delete;

    static void clear(RING_header_s* chain, RING_node_s* vertex) {
        RING_delete_app_data_of_node(chain, vertex, CHAIN_APP_DATA_SCRATCH_MARK);
    }
    static bool fully_covered(const RING_node_s* vertex) { return mark(vertex) == vertex; }
    // The interval list of a vertex that is neither uncovered nor wholly covered.
    static const CoveredInterval* intervals(const RING_node_s* vertex) {
        const void* m = mark(vertex);
        return m == vertex ? nullptr : static_cast<const CoveredInterval*>(m);
    }
    static void cover_fully(RING_header_s* chain, RING_node_s* vertex) {
        RING_put_node_app_data(chain, vertex, CHAIN_APP_DATA_SCRATCH_MARK, vertex);
    }
    // Merges [lo, hi] into the vertex's list; overlapping or touching
    // intervals are joined, and a list reaching from 0 to 1 makes the vertex
    // wholly covered.
    void cover(RING_header_s* chain, RING_node_s* vertex, double lo, double hi) {
        if (fully_covered(vertex)) return;
        auto* head = static_cast<CoveredInterval*>(mark(vertex));
        CoveredInterval** link = &head;
        while (*link && (*link)->end < lo) link = &(*link)->next;
        if (!*link || (*link)->start > hi) {
            auto* record = static_cast<CoveredInterval*>(DYNAMIC_ARRAY_take_element(m_array));
            if (!record) ERROR_internal(__FILE__, __LINE__, "no room for a covered interval");
            *record = {lo, hi, *link};
            *link = record;
        } else {
            CoveredInterval* merged = *link;
            merged->start = std::min(merged->start, lo);
            merged->end = std::max(merged->end, hi);
            while (merged->next && merged->next->start <= merged->end) {
                merged->end = std::max(merged->end, merged->next->end);
                merged->next = merged->next->next;
            }
        }
        if (head->start <= 0.0 && head->end >= 1.0) cover_fully(chain, vertex);
        else RING_put_node_app_data(chain, vertex, CHAIN_APP_DATA_SCRATCH_MARK, head);
    }

private:
    static void* mark(const RING_node_s* vertex) {
        return APP_DATA__ask_app_data(vertex->app_data, CHAIN_APP_DATA_SCRATCH_MARK);
    }
    merrow1::ScratchPool m_pool{"CHAIN_FindNonOutputSegments", __FILE__, __LINE__};
    std::vector<RING_header_s*> m_inputs;
    DYNAMIC_ARRAY_s* m_array = nullptr;
};

double distance(const double a[2], const double b[2]) { return std::hypot(a[0] - b[0], a[1] - b[1]); }

// The input segment an output vertex's segment came from: its key-20 links
// followed (at most kMaxSourceSteps) to a chain of the input.  False when
// there is none.
bool input_source(const RING_node_s* vertex, RING_header_s** chain, RING_node_s** source) {
    const RING_node_s* at = vertex;
    for (int step = 0; step < kMaxSourceSteps && at; ++step) {
        const auto* link = static_cast<const CHAIN_source_segment_s*>(datum(at, APP_DATA_SOURCE_SEGMENT));
        if (!link || !link->source_chain || !link->source_vertex || !link->source_chain->main_data) return false;
        if (merrow1::region_set_id(link->source_chain) == kInputId) {
            *chain = link->source_chain;
            *source = link->source_vertex;
            return true;
        }
        at = link->source_vertex;
    }
    return false;
}

// The tolerance e with which an output segment covers its input: ten
// approximation tolerances of the output chain, raised to kCoverDefault when
// below kCoverFloor (as when none is set).  A covered fraction of the input
// segment within eps of an end snaps to that end: eps is kCoverSnapShort for
// a segment shorter than 2 e, else e over its length, at least
// kCoverFractionFloor.
const double kCoverFloor = 1e-10;
const double kCoverDefault = 1e-8;
const double kCoverSnapShort = 0.5;
const double kCoverFractionFloor = 2e-10;

// Marks what the segments of one output chain cover of their input segments.
void mark_covered(RING_header_s* output, CoverageMarks& marks) {
    const CHAIN_main_data_s* md = static_cast<const CHAIN_main_data_s*>(output->main_data);
    double e = md->approximation_tolerance_set ? 10.0 * md->approximation_tolerance : 0.0;
    if (e < kCoverFloor) e = kCoverDefault;
    // The segments: from the second vertex, through the closing one.
    const int steps = is_closed(output) ? output->count : output->count - 1;
    RING_node_s* vertex = output->first;
    for (int i = 0; i < steps; ++i) {
        vertex = vertex->next;
        RING_header_s* chain = nullptr;
        RING_node_s* source = nullptr;
        if (!input_source(vertex, &chain, &source)) continue;
        SEGMENT segment{};
        if (ChainSegment(chain, source, &segment) != 1 || (segment.type != SEG_LINE && segment.type != SEG_ARC))
            continue;
        const double* a = point_of(vertex->previous);
        const double* b = point_of(vertex);
        const double* s0 = segment.start;
        const double* s1 = &segment.end->x;
        if (static_cast<const CHAIN_main_data_s*>(chain->main_data)->material_side != md->material_side)
            std::swap(s0, s1);
        if (distance(a, s0) <= e && distance(b, s1) <= e) {
            CoverageMarks::cover_fully(chain, source);
            continue;
        }
        if (CoverageMarks::fully_covered(source)) continue;
        double foot[2];
        SegmentPointMinDist(&segment, a, foot);
        double lo = SEGMENT_length_parameter(&segment, foot);
        SegmentPointMinDist(&segment, b, foot);
        double hi = SEGMENT_length_parameter(&segment, foot);
        if (lo > hi) std::swap(lo, hi);
        const double length = SEGMENT_swept_length(&segment);
        const double eps = length < 2 * e ? kCoverSnapShort : std::max(e / length, kCoverFractionFloor);
        if (lo < eps) lo = 0.0;
        if (hi > 1.0 - eps) hi = 1.0;
        marks.cover(chain, source, lo, hi);
    }
}

// A place on the segment ending at `vertex` (the k-th) at fraction t of its
// length: measured from the start, or back from the end above one half.
bool place_on_segment(RING_header_s* chain, RING_node_s* vertex, int k, double t, POINT_ON_CHAIN_s* out) {
    if (t <= 0.0) return PointOnChainCreate(chain, vertex->previous, 0, point_of(vertex->previous), out) != 0;
    if (t >= 1.0) return PointOnChainCreate(chain, vertex, k, point_of(vertex), out) != 0;
    SEGMENT segment{};
    if (ChainSegment(chain, vertex, &segment) != 1) return false;
    const double length = SEGMENT_swept_length(&segment);
    double point[2];
    const int done = t > 0.5 ? SegmentDistPointFromEnd(&segment, (1.0 - t) * length, point)
                             : SegmentDistPoint(&segment, t * length, point);
    return done && PointOnChainCreate1(chain, vertex, k, t, point, out) != 0;
}

// An uncovered stretch: from fraction t0 of segment k0 to fraction t1 of
// segment k1 (segments counted from 1 along the walk).
struct Stretch {
    int k0;
    double t0;
    int k1;
    double t1;
};

// Reports the uncovered stretches of one input chain to the functor.
void report_uncovered(RING_header_s* chain, Korvo::Cam::IPartOfChainFunctor* functor) {
    const bool closed = is_closed(chain);
    const int m = closed ? chain->count : chain->count - 1;
    std::vector<RING_node_s*> ends;  // ends[k - 1]: the vertex ending segment k
    RING_node_s* vertex = chain->first;
    for (int k = 1; k <= m; ++k) {
        vertex = vertex->next;
        ends.push_back(vertex);
    }
    // The complement of the covered parts, segment by segment; a stretch
    // that reaches a segment's end goes on into an uncovered start of the next.
    std::vector<Stretch> stretches;
    auto add = [&](int k, double t0, double t1) {
        if (!(t1 > t0)) return;
        if (!stretches.empty() && t0 <= 0.0 && stretches.back().k1 == k - 1 && stretches.back().t1 >= 1.0) {
            stretches.back().k1 = k;
            stretches.back().t1 = t1;
        } else {
            stretches.push_back({k, t0, k, t1});
        }
    };
    for (int k = 1; k <= m; ++k) {
        const RING_node_s* end = ends[k - 1];
        if (CoverageMarks::fully_covered(end)) continue;
        double from = 0.0;
        for (const CoveredInterval* c = CoverageMarks::intervals(end); c; c = c->next) {
            add(k, from, c->start);
            from = c->end;
        }
        add(k, from, 1.0);
    }
    // A closed chain: a stretch through the seam is one stretch, so the walk
    // in effect starts where a covered stretch ends.
    bool whole_loop = false;
    if (closed && stretches.size() > 1 && stretches.front().k0 == 1 && stretches.front().t0 <= 0.0 &&
        stretches.back().k1 == m && stretches.back().t1 >= 1.0) {
        stretches.back().k1 = stretches.front().k1;
        stretches.back().t1 = stretches.front().t1;
        stretches.erase(stretches.begin());
    } else if (closed && stretches.size() == 1 && stretches.front().k0 == 1 && stretches.front().t0 <= 0.0 &&
               stretches.front().k1 == m && stretches.front().t1 >= 1.0) {
        whole_loop = true;
    }
    for (const Stretch& s : stretches) {
        POINT_ON_CHAIN_s start{}, end{};
        PART_OF_CHAIN_s part{};
        if (!place_on_segment(chain, ends[s.k0 - 1], s.k0, s.t0, &start) ||
            !place_on_segment(chain, ends[s.k1 - 1], s.k1, s.t1, &end))
            continue;
        // Once round a closed chain: from its start back to its start.
        if (whole_loop) end.parameter = chain->count;
        if (CreatePartOfChain(&part, &start, &end)) (*functor)(part);
    }
}

}  // namespace

void CHAIN_FindNonOutputSegments(RING_header_s* input_set, RING_header_s* output_set,
                                 Korvo::Cam::IPartOfChainFunctor* functor) {
    if (!input_set || !functor) return;
    const std::vector<RING_header_s*> inputs = chains_of(input_set);
    const std::vector<RING_header_s*> outputs = chains_of(output_set);
    // 1. Ids: input 1, output 2, a chain in both 3; the caller's come back.
    merrow1::ChainFieldsGuard ids(merrow1::kChainFieldRegionSetId);
    for (RING_header_s* chain : inputs) ids.stamp_region_set_id(chain, kInputId);
    for (RING_header_s* chain : outputs) ids.stamp_region_set_id(chain, kOutputId);
    for (RING_header_s* chain : inputs)
        if (merrow1::region_set_id(chain) != kInputId) ids.stamp_region_set_id(chain, kInputAndOutputId);
    CoverageMarks marks(inputs);
    for (RING_header_s* chain : inputs) {
        RING_node_s* node = chain->first;
        for (int i = 0; i < chain->count && node; ++i, node = node->next) CoverageMarks::clear(chain, node);
    }
    // 2. What each output segment covers of its input segment.
    for (RING_header_s* chain : outputs)
        if (merrow1::region_set_id(chain) == kOutputId && chain->count > 1) mark_covered(chain, marks);
    // 3. The uncovered stretches of each input chain.
    for (RING_header_s* chain : inputs)
        if (merrow1::region_set_id(chain) == kInputId && chain->count > 1) report_uncovered(chain, functor);
    // 4. Marks, intervals and ids go with the guards.
}
