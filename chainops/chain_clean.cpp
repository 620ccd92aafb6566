// Cleaning of chains: the boolean clean of one chain, the standard cleans of
// traced chains, moving a chain back onto its sources and removing short
// segments.
#include <merrow1/chain_clean.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_boolean.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_merge.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_split.h>
#include <merrow1/chain_trace.h>
#include <merrow1/segment.h>
#include <merrow1/segment_intersection.h>
#include <quorn/quorn.h>
#include <stend/error.h>
#include <stend/system.h>

#include "chain/chain_readings.h"
#include "chainops/chain_2.h"
#include "chainops/chain_backtrack.h"
#include "chainops/chain_poly_seg_internal.h"
#include "chain/chain_record.h"
#include "exact/orient2d.h"
#include "internal/check.h"
#include "internal/ring_nodes.h"
#include "internal/scratch_pool.h"
#include "chain/segment_box_pairs.h"
#include "internal/tolerances.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

using merrow1::ring_nodes;

// Debug code of a report that shows a chain or a list.
constexpr int kReportChain = 3;

using merrow1::arc_of;
using merrow1::is_closed;
using merrow1::main_of;
using merrow1::point_of;
using merrow1::vertex_record;
double squared_distance(const double* a, const double* b) {
    return (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]);
}

const CHAIN_trace_vertex_data_s* trace_of(const RING_node_s* vertex) { return CHAIN_ask_trace_vertex_data(vertex); }
bool is_dummy(const RING_node_s* v) { return trace_of(v) && trace_of(v)->dummy; }
bool is_blank(const RING_node_s* v) { return trace_of(v) && trace_of(v)->blank; }
bool is_full_circle(const RING_node_s* v) { return trace_of(v) && trace_of(v)->full_circle; }
bool is_step_high(const RING_node_s* v) { return trace_of(v) && trace_of(v)->step_high; }
bool waits_for_circle(const RING_node_s* v) { return APP_DATA__ask_app_data(v->app_data, APP_DATA_CLEAN_CIRCLE) != nullptr; }

// The vertex k steps after the first (modulo the count on a closed chain);
// null past the end of an open chain.
RING_node_s* vertex_at(const RING_header_s* chain, int k) {
    const int n = chain->count;
    if (n <= 0) return nullptr;
    if (is_closed(chain)) k = ((k % n) + n) % n;
    if (k < 0 || k >= n) return nullptr;
    RING_node_s* node = chain->first;
    for (int i = 0; i < k; ++i) node = node->next;
    return node;
}

// Gives the new vertex its own copy of the trace record of the vertex whose
// segment it was cut from.
void copy_trace_record(RING_header_s* chain, const RING_node_s* from, RING_node_s* to) {
    const CHAIN_trace_vertex_data_s* record = trace_of(from);
    if (!record || trace_of(to)) return;
    auto* copy = CMEM_NEW(chain->pool, CHAIN_trace_vertex_data_s);
    *copy = *record;
    if (!APP_DATA__add_data(&to->app_data, copy, CHAIN_APP_DATA_TRACE_VERTEX, chain->pool))
        CMEM_private_delete_object(copy);
}

// Chain parameters within this of each other are one place: a parameter this
// near a whole number is that vertex, and a loop whose ends reach a stretch
// within it covers the stretch.
constexpr double kParameterTolerance = 1e-8;

// The vertex at a chain parameter: the vertex there within 1e-8, else a new
// vertex cut into the segment holding the parameter (with a copy of that
// segment's trace record).  Null when the parameter is off the chain.
RING_node_s* vertex_at_parameter(RING_header_s* chain, double parameter) {
    const int n = chain->count;
    if (is_closed(chain)) {
        parameter = std::fmod(parameter, static_cast<double>(n));
        if (parameter < 0) parameter += n;
    }
    const double whole = std::round(parameter);
    if (std::fabs(parameter - whole) <= kParameterTolerance) return vertex_at(chain, static_cast<int>(whole));
    RING_node_s* node = vertex_at(chain, static_cast<int>(std::ceil(parameter)));
    Korvo::Math::Point2 point;
    if (!node || !ChainGetParamPoint(chain, parameter, &point)) return nullptr;
    bool inserted = false;
    RING_node_s* vertex = CHAIN_insert_vertex(chain, node, &point, nullptr, &inserted);
    if (vertex && inserted) copy_trace_record(chain, node, vertex);
    return vertex;
}

// The vertices at two parameters of one chain, the later one cut in first so
// that the earlier parameter still names its place.
void vertices_at(RING_header_s* chain, double a, double b, RING_node_s** at_a, RING_node_s** at_b) {
    const double n = chain->count;
    auto key = [&](double t) { return is_closed(chain) ? std::fmod(std::fmod(t, n) + n, n) : t; };
    if (key(a) >= key(b)) {
        *at_a = vertex_at_parameter(chain, a);
        *at_b = vertex_at_parameter(chain, b);
    } else {
        *at_b = vertex_at_parameter(chain, b);
        *at_a = vertex_at_parameter(chain, a);
    }
}

// Deletes the vertices after `from` up to and including `to`, walking on
// (around a closed chain); the vertex after them then starts where `from`
// ends.  Nothing when `to` is not reached within the chain.
void remove_after_up_to(RING_header_s* chain, RING_node_s* from, RING_node_s* to) {
    if (!from || !to || from == to) return;
    std::vector<RING_node_s*> doomed;
    RING_node_s* node = from->next;
    for (int k = 0; node && k < chain->count; ++k, node = node->next) {
        doomed.push_back(node);
        if (node == to) break;
        if (node == chain->last && !is_closed(chain)) return;
    }
    if (doomed.empty() || doomed.back() != to) return;
    for (RING_node_s* v : doomed) RING_delete_node(chain, v);
    CHAIN_drop_cached_box(chain);
}

// The open chain's first vertex made a start point.
void make_start_point(RING_header_s* chain) {
    if (chain->first && !is_closed(chain)) CHAIN_seg_set_type(chain->first, SEG_POINT);
}

void clear_circle_marks(RING_header_s* chain) {
    for (RING_node_s* v : ring_nodes(chain)) RING_delete_app_data_of_node(chain, v, APP_DATA_CLEAN_CIRCLE);
}

// The scratch lists of one self-intersection pass: the intersection list of
// the chain with itself and its split-chain network.
struct SelfSplit {
    RING_header_s* intersections;
    RING_header_s* network;
};

SelfSplit split_self(RING_header_s* chain, CMEM_pool_s* pool) {
    SelfSplit split{RING_create_in_pool(nullptr, RING_TYPE_LIST, pool), RING_create_in_pool(nullptr, RING_TYPE_LIST, pool)};
    RING_set_sub_ring_delfunc(split.network, nullptr);
    ChainIntersection(chain, split.intersections);
    ChainsSplit(split.intersections, split.network);
    return split;
}

const SPLIT_CHAIN_s* record_of(const RING_node_s* node) { return static_cast<const SPLIT_CHAIN_s*>(node->main_data); }

// Start parameters of the pieces that leave the junction, ascending.
std::vector<double> leaving_parameters(const RING_header_s* ends) {
    std::vector<double> out;
    for (RING_node_s* node : ring_nodes(ends))
        if (!record_of(node)->reversed) out.push_back(record_of(node)->piece->start->parameter);
    std::sort(out.begin(), out.end());
    return out;
}

// Junctions where the chain crosses or touches itself: three or more piece
// ends meet there (the start of a closed chain holds two, an end of an open
// one one).
int crossing_count(const RING_header_s* network) {
    int crossings = 0;
    for (RING_node_s* junction : ring_nodes(network))
        if (RING_ask_node_subring(junction) && RING_ask_node_subring(junction)->count >= 3) ++crossings;
    return crossings;
}

// ---------------------------------------------------------------------------
// Start vertex of a closed chain

// Clearance of a vertex: the least distance from its point to the segments
// other than its own two, when its own two meet only there, its neighbours'
// segments touch them only at the shared ends and nothing else touches them;
// else 0.  Only the segment pairs whose boxes meet can meet; which of them do
// is asked of a segment's pairs when a clearance first needs it (at checking
// level 1 or more every pair is intersected at once, so that each pair's
// consistency checks report), and the distances are measured for the
// vertices asked about only.
class Clearances {
public:
    Clearances(RING_header_s* chain, const std::vector<RING_node_s*>& v)
        : v_(v), n_(static_cast<int>(v.size())), segment_(v.size()), readable_(v.size()), candidates_(v.size()),
          meets_(v.size()), known_(v.size(), 0) {
        for (int i = 0; i < n_; ++i)
            readable_[i] = ChainSegment(chain, v[i], &segment_[i]) && segment_[i].type != SEG_POINT;
        for (const auto& [i, j] : merrow1::segment_box_pairs(segment_, readable_)) {
            candidates_[i].push_back(j);
            candidates_[j].push_back(i);
        }
        if (MACH__checking_level >= 1)
            for (int i = 0; i < n_; ++i) meets_of(i);
    }

    double of(int i) const {
        const int n = n_;
        const int own = i, after = (i + 1) % n, before = (i - 1 + n) % n, beyond = (i + 2) % n;
        if (!readable_[own] || !readable_[after] || meet(own, after) != 1) return 0.0;
        if (meet(before, own) != 1 || meet(before, after) != 0) return 0.0;
        if (meet(beyond, after) != 1 || meet(beyond, own) != 0) return 0.0;
        for (int k : {own, after})
            for (const auto& [j, count] : meets_of(k))
                if (j != own && j != after && j != before && j != beyond) return 0.0;
        double least = 1e300;
        for (int j = 0; j < n; ++j)
            if (j != own && j != after && readable_[j])
                least = std::min(least, SegmentPointMinDist(&segment_[j], point_of(v_[i]), nullptr));
        return least == 1e300 ? 0.0 : least;
    }

private:
    // The segments segment i meets, with the intersection count (-1
    // overlap); each pair intersected once, with its lower index first (a
    // pair whose other segment is known already takes its count from there).
    const std::vector<std::pair<int, int>>& meets_of(int i) const {
        if (!known_[i]) {
            for (int j : candidates_[i]) {
                int count;
                if (known_[j]) {
                    count = known_count(j, i);
                } else {
                    INT_POINT points;
                    count = SegmentIntersectOn(&segment_[std::min(i, j)], &segment_[std::max(i, j)], &points);
                }
                if (count != 0) meets_[i].emplace_back(j, count);
            }
            known_[i] = 1;
        }
        return meets_[i];
    }
    // The count of the pair (i, j) among the known meetings of segment i.
    int known_count(int i, int j) const {
        for (const auto& [other, count] : meets_[i])
            if (other == j) return count;
        return 0;
    }
    int meet(int i, int j) const {
        meets_of(wrap(i));
        return known_count(wrap(i), wrap(j));
    }
    int wrap(int i) const { return (i % n_ + n_) % n_; }

    const std::vector<RING_node_s*>& v_;
    const int n_;
    std::vector<SEGMENT> segment_;
    std::vector<bool> readable_;
    std::vector<std::vector<int>> candidates_;
    mutable std::vector<std::vector<std::pair<int, int>>> meets_;
    mutable std::vector<char> known_;
};

void start_at(RING_header_s* chain, RING_node_s* vertex) {
    if (chain->first == vertex) return;
    chain->first = vertex;
    chain->last = vertex->previous;
    CHAIN_drop_cached_box(chain);
}

// The first corner of clearance above 1e-6 starts the chain; else the corner
// of greatest clearance above 1e-7, else the first corner.
constexpr double kClearStart = 1e-6;
constexpr double kLeastStartClearance = 1e-7;
void choose_start_vertex(RING_header_s* chain) {
    const std::vector<RING_node_s*> v = ring_nodes(chain);
    const Clearances clearances(chain, v);
    RING_node_s* best = nullptr;
    RING_node_s* first_corner = nullptr;
    double best_clearance = kLeastStartClearance;
    for (size_t i = 0; i < v.size(); ++i) {
        if (ChainCornerType(chain, v[i]) == 0) continue;
        const double clearance = clearances.of(static_cast<int>(i));
        if (clearance > kClearStart) {
            start_at(chain, v[i]);
            return;
        }
        if (!first_corner) first_corner = v[i];
        if (clearance > best_clearance) best = v[i], best_clearance = clearance;
    }
    if (best)
        start_at(chain, best);
    else if (first_corner)
        start_at(chain, first_corner);
}

// ---------------------------------------------------------------------------
// Dummy loops

struct Loop {
    double from;  // start parameter
    double to;    // end parameter (raised by the count on a closed chain)
    double span;
};

// Cuts away, pass by pass, the least loop between two pieces leaving one
// junction that holds the first dummy vertex's segment.  Stops when nothing
// crosses, no dummy vertex is left, or a pass did not lower the number of
// crossings.
void remove_dummy_loops(RING_header_s* chain) {
    int before = INT_MAX;
    // Each pass lowers the crossing count: the first count bounds the passes.
    for (int pass = 0;; ++pass) {
        if (main_of(chain)->kind != TRACE_CHAIN || chain->count < 2) return;
        const std::vector<RING_node_s*> v = ring_nodes(chain);
        int dummy = -1;
        const bool closed = is_closed(chain);
        for (size_t i = closed ? 0 : 1; i < v.size() && dummy < 0; ++i)
            if (is_dummy(v[i])) dummy = static_cast<int>(i);
        if (dummy < 0) return;

        MERROW1_SCRATCH_POOL(scratch, "chains");
        const SelfSplit split = split_self(chain, scratch);
        const int crossings = crossing_count(split.network);
        if (crossings == 0 || crossings >= before) return;
        before = crossings;
        const int n = chain->count;
        std::vector<Loop> loops;
        for (RING_node_s* junction : ring_nodes(split.network)) {
            const std::vector<double> p = leaving_parameters(RING_ask_node_subring(junction));
            const size_t m = p.size();
            if (m < 2) continue;
            for (size_t i = 0; i < m; ++i) {
                double from = p[i], to = p[(i + 1) % m];
                if (closed) {
                    if (to <= from) to += n;
                    loops.push_back({from, to, to - from});
                } else {
                    loops.push_back({from, to, from <= to ? to - from : 1e7});
                }
            }
        }
        // The dummy segment runs from parameter dummy - 1 to dummy (the
        // closing segment from n - 1 to n); a loop holds it when it covers
        // that stretch, on a closed chain also once round.
        const double a = dummy == 0 ? n - 1 : dummy - 1, b = dummy == 0 ? n : dummy;
        const Loop* chosen = nullptr;
        for (const Loop& loop : loops) {
            if (loop.from > loop.to) continue;
            bool holds = loop.from <= a + kParameterTolerance && b - kParameterTolerance <= loop.to;
            if (closed)
                holds = holds || (loop.from <= a + n + kParameterTolerance && b + n - kParameterTolerance <= loop.to);
            if (holds && (!chosen || loop.span < chosen->span)) chosen = &loop;
        }
        if (!chosen) MERROW1_INFINITE_LOOP();
        RING_node_s* from = nullptr;
        RING_node_s* to = nullptr;
        vertices_at(chain, chosen->from, chosen->to, &from, &to);
        remove_after_up_to(chain, from, to);
        make_start_point(chain);
        if (pass > static_cast<int>(v.size())) MERROW1_INFINITE_LOOP();
    }
}

// ---------------------------------------------------------------------------
// Circles at step-high vertices

int circle_marks(const RING_header_s* chain) {
    int marks = 0;
    for (RING_node_s* v : ring_nodes(chain)) marks += waits_for_circle(v) ? 1 : 0;
    return marks;
}

bool whole(double t) { return std::fabs(t - std::round(t)) <= EQ_ask_number_tolerance(); }

// The vertex a piece leaving at parameter t starts at, when t is a vertex's.
RING_node_s* vertex_of_start(const RING_header_s* chain, double t) {
    return whole(t) ? vertex_at(chain, static_cast<int>(std::round(t))) : nullptr;
}

// The two leaving places of the junction that bound the circle at parameter
// t: the first two in ring order, each later one replacing whichever of the
// two lies farther from t (the second on a tie).  False without two.
bool bounding_places(const RING_header_s* ends, double t, double* a, double* b) {
    std::vector<double> places;
    for (RING_node_s* node : ring_nodes(ends)) {
        if (record_of(node)->reversed) continue;
        const double p = record_of(node)->piece->start->parameter;
        if (places.size() < 2) {
            places.push_back(p);
            continue;
        }
        if (std::fabs(places[0] - t) > std::fabs(places[1] - t))
            places[0] = p;
        else
            places[1] = p;
    }
    if (places.size() < 2) return false;
    *a = std::min(places[0], places[1]);
    *b = std::max(places[0], places[1]);
    return true;
}

// The junction where the circle's bounding places lie, when the circle's
// piece carries one index at both ends: up to six steps along pieces whose
// vertex bears the full-circle mark (leaving records for sense 1, arriving
// ones for -1), taking the junction reached by the lowest parameter, else
// the last one reached (the junction itself when no step is taken).
RING_header_s* circle_junction(const RING_header_s* chain, RING_header_s* ends, double t, int sense) {
    if (sense != 1 && sense != -1) return ends;
    RING_header_s* at = ends;
    RING_header_s* best = nullptr;
    double lowest = 1e300;
    const double tol = EQ_ask_number_tolerance();
    for (int step = 0; step < 6 && at; ++step) {
        RING_header_s* next = nullptr;
        for (RING_node_s* node : ring_nodes(at)) {
            const SPLIT_CHAIN_s* end = record_of(node);
            if ((sense == 1) == (end->reversed != 0)) continue;
            // The record's vertex ends the segment it runs on at this
            // junction: the piece's first segment when it leaves, its last
            // when it arrives.
            const double p = end->piece->start->parameter;
            RING_node_s* vertex = end->reversed
                                      ? vertex_at(chain, static_cast<int>(std::ceil(end->piece->end->parameter - tol)))
                                      : vertex_at(chain, static_cast<int>(std::floor(p + tol)) + 1);
            if (!vertex || !is_full_circle(vertex)) continue;
            if (std::fabs(p - t) <= tol || std::fabs(p) <= tol) continue;
            if (end->far_junction) next = RING_ask_node_subring(end->far_junction);
            if (next && p < lowest) lowest = p, best = next;
            break;
        }
        if (!next) break;
        at = next;
    }
    return best ? best : at;
}

// One circle of a closed chain; false when no junction leads to a marked
// vertex (nothing left to do).
bool remove_one_closed_circle(RING_header_s* chain) {
    MERROW1_SCRATCH_POOL(scratch, "CHAIN__remove_circle");
    const SelfSplit split = split_self(chain, scratch);
    for (RING_node_s* junction : ring_nodes(split.network)) {
        RING_header_s* ends = RING_ask_node_subring(junction);
        const SPLIT_CHAIN_s* circle = nullptr;
        RING_node_s* vertex = nullptr;
        int leaving = 0;
        for (RING_node_s* node : ring_nodes(ends)) {
            const SPLIT_CHAIN_s* end = record_of(node);
            if (end->reversed) continue;
            ++leaving;
            RING_node_s* v = vertex_of_start(chain, end->piece->start->parameter);
            if (!circle && v && is_step_high(v) && waits_for_circle(v)) circle = end, vertex = v;
        }
        if (!circle) continue;
        RING_delete_app_data_of_node(chain, vertex, APP_DATA_CLEAN_CIRCLE);
        const double t = circle->piece->start->parameter;
        const int sense = trace_of(vertex)->step_sense;
        const int mode = is_blank(vertex) ? 2 : 1;
        if (leaving < 2) return true;
        // One index at both ends of the circle's piece: the circle is bounded
        // elsewhere.
        ChainsNodeInterfIndex(ends, ends->first, 0, INT_MAX, nullptr);
        bool one_index = true;
        int index = INT_MIN;
        for (RING_node_s* node : ring_nodes(ends)) {
            const SPLIT_CHAIN_s* end = record_of(node);
            if (end->piece != circle->piece) continue;
            if (index != INT_MIN && end->index != index) one_index = false;
            index = end->index;
        }
        RING_header_s* used = one_index ? circle_junction(chain, ends, t, sense) : ends;
        double a = 0, b = 0;
        if (!used || !bounding_places(used, t, &a, &b)) return true;
        RING_node_s* first = nullptr;
        RING_node_s* second = nullptr;
        vertices_at(chain, a, b, &first, &second);
        if (!first || !second) return true;
        if (mode == 2 && is_closed(chain)) {
            ChainOpen(chain);
            ChainTrim(chain, first, 0);
            ChainTrim(chain, second, 1);
            CHAIN_close(chain, merrow1::kCloseGap);
        } else if (one_index) {
            remove_after_up_to(chain, first, second);
        } else if (sense == 1) {
            ChainTrim(chain, first, 1);
        } else if (sense == -1) {
            ChainTrim(chain, second, 0);
        }
        return true;
    }
    return false;
}

void remove_closed_circles(RING_header_s* chain) {
    // Every pass takes one mark off or ends the repeat: the marks bound it.
    const int bound = circle_marks(chain);
    for (int pass = 0; main_of(chain)->kind == TRACE_CHAIN && circle_marks(chain) > 0; ++pass) {
        if (pass > bound) MERROW1_INFINITE_LOOP();
        const int marks = circle_marks(chain);
        if (!remove_one_closed_circle(chain) || circle_marks(chain) >= marks) break;
    }
    if (chain->first && !is_closed(chain)) {
        bool removed = false;
        while (chain->count > 2 && is_full_circle(chain->first->next)) {
            RING_delete_node(chain, chain->first);
            removed = true;
        }
        while (chain->count > 2 && is_full_circle(chain->last)) {
            RING_delete_node(chain, chain->last);
            removed = true;
        }
        make_start_point(chain);
        if (removed) {
            RING_delete_app_data_of_node(chain, chain->first, APP_DATA_CLEAN_CIRCLE);
            RING_delete_app_data_of_node(chain, chain->last, APP_DATA_CLEAN_CIRCLE);
        }
    }
    main_of(chain)->kind = OFFSET_CHAIN;
}

// One circle of an open chain; false when no point of the chain's
// intersection list lies on a marked vertex.
bool remove_one_open_circle(RING_header_s* chain) {
    MERROW1_SCRATCH_POOL(scratch, "chains");
    const SelfSplit split = split_self(chain, scratch);
    if (crossing_count(split.network) == 0) return false;
    RING_header_s* points = split.intersections->first ? RING_ask_node_subring(split.intersections->first) : nullptr;
    const std::vector<RING_node_s*> order = ring_nodes(points);
    const double tol = EQ_ask_number_tolerance();
    for (size_t i = 0; i < order.size(); ++i) {
        const auto* place = static_cast<const POINT_ON_CHAIN_s*>(order[i]->main_data);
        RING_node_s* vertex = vertex_of_start(chain, place->parameter);
        if (!vertex || !is_step_high(vertex) || !waits_for_circle(vertex)) continue;
        RING_delete_app_data_of_node(chain, vertex, APP_DATA_CLEAN_CIRCLE);
        const double t = place->parameter;
        auto* junction = static_cast<RING_node_s*>(APP_DATA__ask_app_data(order[i]->app_data, CHAIN_APP_DATA_SPLIT_JUNCTION));
        RING_header_s* ends = junction ? RING_ask_node_subring(junction) : nullptr;
        if (!ends || !ends->first) return true;
        const int lowest = ChainsNodeInterfIndex(ends, ends->first, 0, INT_MAX, nullptr);
        RING_node_s* circle = nullptr;
        for (RING_node_s* node : ring_nodes(ends))
            if (!record_of(node)->reversed && std::fabs(record_of(node)->piece->start->parameter - t) <= tol) {
                circle = node;
                break;
            }
        if (!circle) return true;
        const SPLIT_CHAIN_s* end = record_of(circle);
        if (std::fabs(end->piece->end->parameter - (t + 3)) <= tol) {
            // A circle of three segments: the chain keeps the side its
            // neighbouring record runs on.
            const bool neighbour_leaves = circle->next && !record_of(circle->next)->reversed;
            if (neighbour_leaves)
                ChainTrim(chain, vertex_at(chain, static_cast<int>(std::round(t + 3))), 0);
            else
                ChainTrim(chain, vertex, 1);
            return true;
        }
        const double s = end->index == lowest ? t + 3 : t;
        for (size_t j = i + 1; j < order.size(); ++j) {
            auto* far = static_cast<RING_node_s*>(APP_DATA__ask_app_data(order[j]->app_data, CHAIN_APP_DATA_SPLIT_JUNCTION));
            RING_header_s* far_ends = far ? RING_ask_node_subring(far) : nullptr;
            for (RING_node_s* node : ring_nodes(far_ends)) {
                const SPLIT_CHAIN_s* leaving = record_of(node);
                if (leaving->reversed || leaving->piece->start->parameter >= s) continue;
                for (RING_node_s* beside : {node->next, node->previous}) {
                    if (!beside || beside == node) continue;
                    const SPLIT_CHAIN_s* arriving = record_of(beside);
                    if (!arriving->reversed || arriving->piece->end->parameter <= s) continue;
                    RING_node_s* first = nullptr;
                    RING_node_s* second = nullptr;
                    vertices_at(chain, leaving->piece->start->parameter, arriving->piece->end->parameter, &first, &second);
                    remove_after_up_to(chain, first, second);
                    return true;
                }
            }
        }
        return true;
    }
    return false;
}

void remove_open_circles(RING_header_s* chain) {
    const int bound = circle_marks(chain);
    for (int pass = 0; circle_marks(chain) > 0; ++pass) {
        if (pass > bound) MERROW1_INFINITE_LOOP();
        const int marks = circle_marks(chain);
        if (!remove_one_open_circle(chain) || circle_marks(chain) >= marks) break;
    }
    main_of(chain)->kind = OFFSET_CHAIN;
}

// Drops blank segments from the ends: the first vertex when the first
// segment is blank, the last when the last segment is.  A blank vertex piece
// is the rounded end of an open chain (the cap the trace puts round each end
// of an open offset): it belongs to the offset and stays; the blank pieces
// dropped are the connecting ones (the line into a full circle that opens a
// stocked walk).
bool is_blank_connection(const RING_node_s* v) { return is_blank(v) && !trace_of(v)->vertex_piece; }
void strip_blank_ends(RING_header_s* chain) {
    if (chain->count >= 2 && is_blank_connection(chain->first->next)) {
        RING_delete_node(chain, chain->first);
        make_start_point(chain);
    }
    if (chain->count >= 2 && is_blank_connection(is_closed(chain) ? chain->first : chain->last))
        RING_delete_node(chain, chain->last);
    CHAIN_drop_cached_box(chain);
}

}  // namespace

// ---------------------------------------------------------------------------
// Lines that run back along themselves

namespace {

// Whether the line V -> Q runs back along the line P -> V: Q on P's side of
// V and on the line through P and V, decided exactly; with a tolerance, also
// when the nearer of P and Q to V lies within it of the line through V and
// the farther one.  Neither line may be of zero length.
bool runs_back(const double* p, const double* v, const double* q, double tolerance) {
    if (ORIENT2D_dot_sign(v, p, q) <= 0) return false;
    if (ORIENT2D_sign(p, v, q) == 0) return true;
    if (!(tolerance > 0.0)) return false;
    const bool q_nearer = ORIENT2D_distance_sign(v, p, q) <= 0;
    const double* near = q_nearer ? q : p;
    const double* far = q_nearer ? p : q;
    // A nearer end within the tolerance of V gives the line no direction to
    // run back in: any turn there would pass.  Such a piece is the short
    // turn between two lines, which the caller tries as the middle piece.
    const double nx = near[0] - v[0], ny = near[1] - v[1];
    if (nx * nx + ny * ny <= tolerance * tolerance) return false;
    const double fx = far[0] - v[0], fy = far[1] - v[1];
    const double cross = fx * ny - fy * nx;
    return std::fabs(cross) <= tolerance * std::hypot(fx, fy);
}

// Flags over the positions 0 .. n - 1, all set at first, counted in a binary
// indexed tree: how many are set below a position, and the first set one at
// or after a position, each in O(log n).
class BacktrackFlags {
public:
    explicit BacktrackFlags(size_t n) : count_(n + 1, 0), flag_(n, 1) {
        for (size_t i = 1; i <= n; ++i) {
            count_[i] += 1;
            if (i + low_bit(i) <= n) count_[i + low_bit(i)] += count_[i];
        }
        while (top_ * 2 <= n) top_ *= 2;
    }
    void set(size_t i) {
        if (flag_[i]) return;
        flag_[i] = 1;
        for (size_t x = i + 1; x < count_.size(); x += low_bit(x)) ++count_[x];
    }
    void clear(size_t i) {
        if (!flag_[i]) return;
        flag_[i] = 0;
        for (size_t x = i + 1; x < count_.size(); x += low_bit(x)) --count_[x];
    }
    // The number of set flags at positions below i.
    size_t below(size_t i) const {
        size_t sum = 0;
        for (size_t x = i; x > 0; x -= low_bit(x)) sum += count_[x];
        return sum;
    }
    // The first set position at or after i; n when there is none.  The
    // descent finds the longest prefix holding fewer set flags than the
    // rank wanted, so the position after it is the flag of that rank.
    size_t first_from(size_t i) const {
        size_t rank = below(i) + 1, at = 0;
        for (size_t step = top_; step > 0; step >>= 1)
            if (at + step < count_.size() && count_[at + step] < rank) {
                at += step;
                rank -= count_[at];
            }
        return at;
    }

private:
    static size_t low_bit(size_t x) { return x & (~x + 1); }
    std::vector<size_t> count_;  // count_[x]: flags set at positions x - low_bit(x) .. x - 1
    std::vector<char> flag_;
    size_t top_ = 1;
};

}  // namespace

void CHAIN__cancel_backtracks(std::vector<ChainBacktrackPiece>& pieces, double tolerance) {
    auto same = [](const double* a, const double* b) { return a[0] == b[0] && a[1] == b[1]; };
    // The pieces left are a ring linked both ways over the vector, in their
    // order: a cancelled piece is unlinked at once and the vector closed up
    // once at the end, so a long run with many cancellations costs no shift
    // of its tail per cancellation.  The walk is that of a vector whose
    // pieces are erased: k is the position of the piece `at` among the n
    // pieces left, `head` the first of them.  Since the ring keeps the
    // order of the vector, k is the number of pieces left below `at`.
    const size_t total = pieces.size();
    std::vector<size_t> next(total), prev(total);
    std::vector<char> kept(total, 1);
    for (size_t i = 0; i < total; ++i) {
        next[i] = i + 1 < total ? i + 1 : 0;
        prev[i] = i > 0 ? i - 1 : total - 1;
    }
    // The test at a piece reads four pieces: the one before it, itself and
    // the two after it (their ends, kinds and reaches) and nothing else but
    // whether three are left.  A piece is open until the walk tests it and
    // finds no cancellation, and opens again when a cancellation changes
    // one of the four; so the test at a piece that is not open answers no
    // again, and the walk passes it without testing.  That matters where a
    // cancellation at the end wraps round to the front: the walk then starts
    // over at position 0, as the vector walk does, and goes on to the end
    // again, but tests only the few pieces the cancellations opened.
    //
    // The bound: let F be the number of open pieces plus five times the
    // number of pieces left, 6 total at the start and never negative.  Each
    // step tests an open piece.  A test without a cancellation closes the
    // piece: F falls by one.  A cancellation takes away one piece at least
    // (minus five, and its open flag goes with it) and opens at most four:
    // F falls by one at least.  So there are at most 6 total steps.
    //
    // The trees are kept up to date only where the walk passes pieces:
    // `maybe_open` holds every open piece and some that closed since (a
    // piece found closed there is taken out then), and `ranked` holds the
    // pieces left but those in `unranked`, cancelled since the walk last
    // passed any.  So a run the walk never passes costs no update of them,
    // and each update of a tree follows an entry or an opening.
    std::vector<char> open(total, 1);
    BacktrackFlags maybe_open(total), ranked(total);
    std::vector<size_t> unranked;
    const size_t bound = 6 * total;
    size_t n = total, head = 0, k = 0, at = 0, steps = 0;
    while (n >= 2 && k < n) {
        if (!open[at]) {
            // Every piece from here to the next open one tests no: move on
            // to it (or off the end of the run) at once.
            size_t to = maybe_open.first_from(at);
            while (to < total && !open[to]) {
                maybe_open.clear(to);
                to = maybe_open.first_from(to);
            }
            if (to == total) break;
            for (size_t g : unranked) ranked.clear(g);
            unranked.clear();
            k = ranked.below(to);
            at = to;
        }
        if (++steps > bound) MERROW1_INFINITE_LOOP();
        const ChainBacktrackPiece& first = pieces[at];
        const double* p = pieces[prev[at]].end;
        const double* v = first.end;
        // Line j runs from V, or from the end of a piece `middle` after V
        // that stays within the tolerance of V, to Q.
        auto backs = [&](size_t j, size_t from) {
            const ChainBacktrackPiece& second = pieces[j];
            return first.line && second.line && !same(p, v) && !same(pieces[from].end, second.end) &&
                   !same(v, second.end) && runs_back(p, v, second.end, tolerance);
        };
        size_t j = next[at];
        bool middle = false;
        // Q on the line P V (within the tolerance), on P's side of V: the
        // second line runs back along the first.
        bool back = backs(j, at);
        if (!back && tolerance > 0.0 && n >= 3 && pieces[j].reach < tolerance && backs(next[j], j)) {
            back = middle = true;
            j = next[j];
        }
        if (!back) {
            open[at] = 0;
            ++k;
            at = next[at];
            continue;
        }
        const double* q = pieces[j].end;
        // The pieces that go, with their positions among those left (k + 1
        // and k + 2 wrap round to the front at the end of the run).
        size_t gone[3], where[3], count = 0;
        auto go = [&](size_t piece, size_t offset) {
            gone[count] = piece;
            where[count++] = (k + offset) % n;
        };
        if (middle) go(next[at], 1);
        const size_t j_offset = middle ? 2 : 1;
        if (same(q, p)) {
            // Out and back to where it started: both go.
            go(at, 0);
            go(j, j_offset);
        } else if (ORIENT2D_dot_sign(p, v, q) > 0) {
            // Back part of the way: the first ends where the second does.
            pieces[at].end[0] = q[0];
            pieces[at].end[1] = q[1];
            go(j, j_offset);
        } else {
            // Back past the start: the second starts where the first did.
            go(at, 0);
        }
        // The piece before may now run back along the one after: position
        // k - 1 of the pieces left.  When no piece before position k went,
        // that is the piece before `at`; else it is counted from the end.
        const size_t before = prev[at];
        bool wrapped = false;
        for (size_t i = 0; i < count; ++i) {
            const size_t g = gone[i];
            if (where[i] < k) wrapped = true;
            next[prev[g]] = next[g];
            prev[next[g]] = prev[g];
            if (g == head) head = next[g];
            kept[g] = 0;
            open[g] = 0;
            unranked.push_back(g);
            --n;
        }
        // Open again the tests that read a changed piece: the test at S, the
        // first piece left after the cancelled ones (the piece before S is
        // another one now, or `at` ending elsewhere), and those at the three
        // pieces before S (one of the two pieces after each is another one
        // now, or `at` ending elsewhere; the third back needs it only when
        // `at` is kept).  When `at` went, the piece before it is left unless
        // nothing is: at most three consecutive pieces go, at or after `at`,
        // and in a ring of three the middle case takes all of them.  In a
        // ring of four pieces or fewer this opens every piece left.
        if (n > 0) {
            size_t s = next[kept[at] ? at : before];
            for (int i = 0; i < 4; ++i, s = prev[s]) {
                open[s] = 1;
                maybe_open.set(s);
            }
        }
        k = k > 0 ? k - 1 : 0;
        if (k >= n) k = 0;
        if (k == 0) {
            at = head;
        } else if (!wrapped) {
            at = before;
        } else {
            at = prev[head];
            for (size_t i = n - 1; i > k; --i) at = prev[at];
        }
    }
    size_t w = 0;
    for (size_t i = 0; i < total; ++i)
        if (kept[i]) pieces[w++] = pieces[i];
    pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(w), pieces.end());
    if (pieces.size() < 2) pieces.clear();
}

bool CHAIN__cancel_loop_backtracks(RING_header_s* loop, double tolerance) {
    if (!loop || !is_closed(loop)) return true;
    std::vector<RING_node_s*> vertices;
    std::vector<ChainBacktrackPiece> pieces;
    vertices.reserve(static_cast<size_t>(std::max(loop->count, 0)));
    pieces.reserve(vertices.capacity());
    for (RING_node_s* v : ring_nodes(loop)) {
        const bool line = CHAIN_seg_ask_type(v) == SEG_LINE;
        pieces.push_back({{point_of(v)[0], point_of(v)[1]}, line, static_cast<int>(vertices.size())});
        if (tolerance > 0.0) {
            SEGMENT segment{};
            SEGMENT_arc_s arc{};
            if (line)
                pieces.back().reach = std::sqrt(squared_distance(point_of(v->previous), point_of(v)));
            else if (ChainSegment(loop, v, &segment) && SEGMENT_read_arc(&segment, &arc))
                pieces.back().reach = 2.0 * arc.radius;
        }
        vertices.push_back(v);
    }
    const size_t before = pieces.size();
    CHAIN__cancel_backtracks(pieces, tolerance);
    if (pieces.size() == before) return true;
    if (pieces.empty()) return false;
    // A kept line may end where a cancelled one did; no arc's ends move.
    std::vector<bool> kept(vertices.size(), false);
    for (const ChainBacktrackPiece& p : pieces) {
        kept[static_cast<size_t>(p.id)] = true;
        double* at = point_of(vertices[static_cast<size_t>(p.id)]);
        at[0] = p.end[0];
        at[1] = p.end[1];
    }
    for (size_t i = 0; i < vertices.size(); ++i)
        if (!kept[i]) RING_delete_node(loop, vertices[i]);
    CHAIN_drop_cached_box(loop);
    return true;
}

void CHAIN__cancel_backtracks_of_loops(RING_header_s* list, RING_node_s* after, const RING_header_s* input) {
    if (!list) return;
    std::vector<RING_node_s*> gone;
    for (RING_node_s* node = after ? after->next : list->first; node && (after == nullptr || node != list->first);
         node = node == list->last ? nullptr : node->next) {
        RING_header_s* loop = RING_ask_node_subring(node);
        if (loop && loop != input && !CHAIN__cancel_loop_backtracks(loop)) gone.push_back(node);
    }
    for (RING_node_s* node : gone) RING_delete_node(list, node);
}

// ---------------------------------------------------------------------------
// Boolean clean

RING_header_s* CHAIN__clean(RING_header_s* chain, SIDE side, CHAIN_vertex_source_callback_t merge, CMEM_pool_s* pool) {
    if (!chain || chain->type != RING_TYPE_CHAIN || chain->count < 2 || !pool || !chain->main_data) return nullptr;
    CHAIN_debug_report(kReportChain, "CHAIN__clean: input chain", chain, nullptr);
    RING_header_s* result = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_node_s* const first = chain->first;
    try {
        merrow1::run_converting([&] {
            MERROW1_SCRATCH_POOL(scratch, "CHAIN-CHAIN__clean");
            if (is_closed(chain) && chain->count >= 4) {
                choose_start_vertex(chain);
                CHAIN_debug_report(kReportChain, "CHAIN__clean: input_chain after start point set", chain, nullptr);
            }
            if (CHAIN_ask_use_new_boolean()) {
                RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, scratch);
                RING_set_sub_ring_delfunc(list, nullptr);
                RING_insert_after(list, nullptr, chain);
                // The minimal loops at the chain's lowest level only: the
                // faces the older engine keeps, by the winding levels of the
                // intersection object's exact network.
                CHAIN__find_lowest_level_loops(list, side, merge, result);
                CHAIN_debug_report(kReportChain, "CHAIN__clean: cleaned chains after CHAIN_find_minimal_loops", result,
                                   nullptr);
            } else {
                RING_header_s* intersections = RING_create_in_pool(nullptr, RING_TYPE_LIST, scratch);
                RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, scratch);
                RING_set_sub_ring_delfunc(network, nullptr);
                ChainIntersection(chain, intersections);
                CHAIN_debug_report(kReportChain, "CHAIN__clean: after ChainIntersection", intersections, nullptr);
                ChainsSplit(intersections, network);
                CHAIN_debug_report(kReportChain, "CHAIN__clean: before interference removal", network, nullptr);
                int index = 0, free_level = 0;
                bool levelled = false;
                CHAIN__interf_index_levelled(intersections, network, &index, &free_level, &levelled);
                CHAIN_debug_report(kReportChain, "CHAIN__clean: after interference removal", network, nullptr);
                if (side == 0) side = main_of(chain)->material_side;
                ChainsMinimalLoops(intersections, network, side, result, merge);
                if (levelled) CHAIN__keep_traced_free_loops(chain, side, free_level, result);
                CHAIN__cancel_backtracks_of_loops(result, nullptr, chain);
                CHAIN_debug_report(kReportChain, "CHAIN__clean: after ChainsMinimalLoops", result, nullptr);
            }
        });
    } catch (...) {
        RING_delete(result);
        if (is_closed(chain)) start_at(chain, first);
        throw;
    }
    if (!result->first) {
        CHAIN_debug_report(kReportChain, "CHAIN__clean: no output chains exist", chain, nullptr);
        RING_delete(result);
        return nullptr;
    }
    CHAIN__validate_shapes_from_boolean(chain, result, nullptr);
    CHAIN_debug_report(kReportChain, result->first ? "CHAIN__clean: output chains" : "CHAIN__clean: no output chains exist",
                       result, nullptr);
    if (!result->first) {
        RING_delete(result);
        return nullptr;
    }
    return result;
}

int CHAIN_clean(RING_header_s* chain, SIDE side, RING_header_s* out, CHAIN_vertex_source_callback_t merge) {
    if (!out) return 0;
    RING_header_s* result = CHAIN__clean(chain, side, merge, out->pool);
    if (!result) return 0;
    RING_append_ring(out, result);
    RING_delete(result);
    return 1;
}

// ---------------------------------------------------------------------------
// Standard cleans

void CHAIN_single_standard_clean(RING_header_s* chain, RING_header_s* out) {
    if (!chain || !chain->first || !out || !chain->main_data) return;
    CHAIN_debug_report(kReportChain, "CHAIN_single_standard_clean: start", chain, nullptr);
    try {
        merrow1::run_converting([&] {
            // 1. Dummy loops.
            if (main_of(chain)->kind == TRACE_CHAIN) {
                bool any = false;
                for (RING_node_s* v : ring_nodes(chain)) any = any || is_dummy(v);
                if (any) remove_dummy_loops(chain);
            }
            // 2. Circles at step-high vertices.
            int marked = 0;
            for (RING_node_s* v : ring_nodes(chain))
                if (is_step_high(v)) {
                    RING_put_node_app_data(chain, v, APP_DATA_CLEAN_CIRCLE, v);
                    ++marked;
                }
            if (marked > 0) {
                if (is_closed(chain))
                    remove_closed_circles(chain);
                else
                    remove_open_circles(chain);
            }
            clear_circle_marks(chain);
            // 3. Blank ends.
            strip_blank_ends(chain);
        });
    } catch (...) {
        clear_circle_marks(chain);
        throw;
    }
    if (chain->count > 1) {
        main_of(chain)->kind = OFFSET_CHAIN;
        RING_insert_after(out, out->last, RING_dup_reference(chain));
    }
    CHAIN_debug_report(kReportChain, "CHAIN_single_standard_clean: end", chain, nullptr);
}

void CHAIN_standard_clean(RING_header_s* chains, RING_header_s* out) {
    if (!chains || !out) return;
    for (RING_node_s* node : ring_nodes(chains)) CHAIN_single_standard_clean(RING_ask_node_subring(node), out);
}

RING_header_s* CHAIN__standard_clean(RING_header_s* chain, SIDE side, CMEM_pool_s* pool) {
    if (!chain || !pool || !chain->main_data) return nullptr;
    const int own = main_of(chain)->material_side;
    if ((side == RIGHT && own == LEFT) || (side == LEFT && own == RIGHT)) CHAIN_reverse(chain);
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    try {
        CHAIN_single_standard_clean(chain, list);
    } catch (...) {
        RING_delete(list);
        throw;
    }
    if (!list->first) {
        RING_delete(list);
        return nullptr;
    }
    return list;
}

// ---------------------------------------------------------------------------
// Moving a chain back onto its sources

namespace {

// Two points closer than this are one place on a segment.
constexpr double kSamePlace = 2.5e-8;

const CHAIN_source_chain_source_vertex_s* source_of(const RING_node_s* vertex) {
    return static_cast<const CHAIN_source_chain_source_vertex_s*>(
        APP_DATA__ask_app_data(vertex->app_data, APP_DATA_SOURCE_VERTEX));
}
RING_node_s* source_vertex(const RING_node_s* vertex) {
    const CHAIN_source_chain_source_vertex_s* s = source_of(vertex);
    return s ? s->source_vertex : nullptr;
}

// Gives the vertex the segment type and geometry of the source vertex (an arc
// its own end record in the chain's pool) ending at the point.
void take_geometry(RING_header_s* chain, RING_node_s* vertex, const RING_node_s* source, const double point[2]) {
    CHAIN_vertex_data_s* record = vertex_record(vertex);
    const SEGMENT_TYPE type = source ? CHAIN_seg_ask_type(source) : CHAIN_seg_ask_type(vertex);
    end_segment geometry{};
    if (type == SEG_ARC) geometry = *arc_of(source);
    geometry.x = point[0];
    geometry.y = point[1];
    auto* fresh = CMEM_NEW(chain->pool, end_segment);
    *fresh = geometry;
    // The old geometry stays with the chain's pool: another vertex record
    // may have been made sharing its block.
    record->geometry = &fresh->x;
    CHAIN_seg_set_type(vertex, type == SEG_POINT && vertex->previous ? SEG_LINE : type);
    CHAIN_drop_cached_box(chain);
}

void move_point(RING_header_s* chain, RING_node_s* vertex, const double point[2]) {
    CHAIN_vertex_data_s* record = vertex_record(vertex);
    record->geometry[0] = point[0];
    record->geometry[1] = point[1];
    CHAIN_drop_cached_box(chain);
}

// A new vertex after `after` holding a copy of the source vertex's segment
// ending at the point, linked to its source and told to the merge callback.
RING_node_s* insert_copy(RING_header_s* chain, RING_node_s* after, RING_header_s* source_chain, RING_node_s* source,
                         const double point[2], CHAIN_vertex_source_callback_t merge) {
    auto* record = CMEM_NEW(chain->pool, CHAIN_vertex_data_s);
    *record = {};
    RING_node_s* added = RING_insert_after(chain, after, record);
    take_geometry(chain, added, source, point);
    CHAIN_attach_source_data(chain, added, source_chain, source);
    if (merge) merge(source, source, source_chain, added, chain);
    return added;
}

// Length of a segment from a point on it to its end (from its start to the
// point with `to_point`).
double part_length(const SEGMENT& segment, const double point[2], bool to_point) {
    const double t = SEGMENT_length_parameter(&segment, point);
    const double length = SegmentLength(&segment);
    return to_point ? t * length : (1.0 - t) * length;
}

// Moves one vertex onto its source (see CHAIN_AdjustOntoSource).
void move_onto_source(RING_header_s* chain, RING_node_s* vertex, RING_node_s* successor, double tolerance,
                      CHAIN_vertex_source_callback_t merge) {
    const double p[2] = {point_of(vertex)[0], point_of(vertex)[1]};
    const CHAIN_source_chain_source_vertex_s* at_a = source_of(vertex);
    const CHAIN_source_chain_source_vertex_s* at_b = successor ? source_of(successor) : nullptr;
    SEGMENT s_a{}, s_b{};
    const bool has_a = at_a && at_a->source_chain && at_a->source_vertex &&
                       ChainSegment(at_a->source_chain, at_a->source_vertex, &s_a) && s_a.type != SEG_POINT;
    const bool has_b = at_b && at_b->source_chain && at_b->source_vertex &&
                       ChainSegment(at_b->source_chain, at_b->source_vertex, &s_b) && s_b.type != SEG_POINT;
    double q_a[2] = {p[0], p[1]}, q_b[2] = {p[0], p[1]};
    if (has_a) SegmentPointMinDist(&s_a, p, q_a);
    if (has_b) SegmentPointMinDist(&s_b, p, q_b);
    if (!has_a) {
        if (has_b) move_point(chain, vertex, q_b);
        return;
    }
    RING_node_s* a = at_a->source_vertex;
    if (!has_b) {
        take_geometry(chain, vertex, a, q_a);
        return;
    }
    RING_node_s* b = at_b->source_vertex;
    const double reach = 4 * tolerance;
    const double* a_end = &s_a.end->x;
    const double* b_start = s_b.start;
    const bool q_a_at_end = squared_distance(q_a, a_end) <= kSamePlace * kSamePlace;
    const bool q_b_at_start = squared_distance(q_b, b_start) <= kSamePlace * kSamePlace;

    // One source chain: follow it from a to b when that is short.
    if (at_a->source_chain == at_b->source_chain && a != b) {
        RING_header_s* source = at_a->source_chain;
        double length = q_a_at_end ? 0.0 : part_length(s_a, q_a, false);
        RING_node_s* walk = a->next;
        std::vector<RING_node_s*> between;
        for (int k = 0; walk && walk != b && length <= reach && k < source->count; ++k, walk = walk->next) {
            SEGMENT whole;
            if (ChainSegment(source, walk, &whole)) length += SegmentLength(&whole);
            between.push_back(walk);
        }
        if (walk == b) {
            if (!q_b_at_start) length += part_length(s_b, q_b, true);
            if (length <= reach) {
                take_geometry(chain, vertex, a, a_end);
                RING_node_s* after = vertex;
                for (RING_node_s* w : between) after = insert_copy(chain, after, source, w, point_of(w), merge);
                return;
            }
        }
    }
    // Where the two source segments meet, near both.
    if (!q_a_at_end && !q_b_at_start) {
        INT_POINT points;
        const int found = SEGMENT_intersect(&s_a, &s_b, merrow1::length_tolerance_of(chain), &points);
        if (found == -1) {
            if (SegmentPointLocationOn(&s_a, b_start) == 5) {
                take_geometry(chain, vertex, a, b_start);
                return;
            }
        } else {
            for (int i = 0; i < found && i < 2; ++i) {
                const double x[2] = {points.point[i].x, points.point[i].y};
                const LOCATION on_a = SegmentPointLocationOn(&s_a, x);
                const LOCATION on_b = SegmentPointLocationOn(&s_b, x);
                const double near = 2 * tolerance;
                if (on_a >= 3 && on_a <= 5 && on_b >= 1 && on_b <= 3 &&
                    (squared_distance(x, q_a) <= near * near || squared_distance(x, q_b) <= near * near)) {
                    take_geometry(chain, vertex, a, x);
                    return;
                }
            }
        }
    }
    // Failing all: onto S_a, and a copy of b's segment onto S_b.
    take_geometry(chain, vertex, a, q_a);
    insert_copy(chain, vertex, at_b->source_chain, b, q_b, merge);
}

void adjust_chain_onto_source(RING_header_s* chain, double tolerance, CHAIN_vertex_source_callback_t merge) {
    if (!chain || chain->type != RING_TYPE_CHAIN || chain->count < 2 || !chain->main_data) return;
    const bool closed = is_closed(chain);
    std::vector<RING_node_s*> order = ring_nodes(chain);
    // Every vertex with a previous vertex names its source: checked before
    // anything moves, so a refused chain comes back as it was.
    for (RING_node_s* v : order)
        if ((closed || v != chain->first) && !source_of(v))
            ERROR_raise(__FILE__, __LINE__, 65, "Missing src data in CHAIN_AdjustOntoSource");
    // 1. A closed chain starts where the source vertex changes.
    if (closed) {
        size_t start = order.size();
        for (size_t i = 0; i < order.size() && start == order.size(); ++i)
            if (source_vertex(order[i]) != source_vertex(order[(i + 1) % order.size()])) start = i;
        if (start == order.size()) return;
        std::rotate(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(start), order.end());
    }
    // 2. Once round: runs on one source vertex keep their last vertex, which
    //    moves onto the source with the others.
    for (size_t i = 0; i < order.size(); ++i) {
        RING_node_s* vertex = order[i];
        RING_node_s* successor = i + 1 < order.size() ? order[i + 1] : (closed ? order[0] : nullptr);
        const bool has_previous = closed || vertex != chain->first;
        if (successor && has_previous && source_vertex(vertex) == source_vertex(successor)) {
            RING_delete_node(chain, vertex);
            continue;
        }
        move_onto_source(chain, vertex, successor, tolerance, merge);
    }
    // 3. Tidy: vertices on the previous one go, the arc after them is mended;
    //    arcs shorter than the tolerance become lines.
    for (RING_node_s* vertex : ring_nodes(chain)) {
        if (chain->count < 2 || (!closed && vertex == chain->first)) continue;
        if (squared_distance(point_of(vertex), point_of(vertex->previous)) <= kSamePlace * kSamePlace) {
            RING_node_s* after = vertex == chain->last && !closed ? nullptr : vertex->next;
            RING_delete_node(chain, vertex);
            if (after && CHAIN_seg_ask_type(after) == SEG_ARC) CHAIN_MendArcAfterAdjustment(chain, after);
        }
    }
    for (RING_node_s* vertex : ring_nodes(chain)) {
        SEGMENT segment;
        if (CHAIN_seg_ask_type(vertex) == SEG_ARC && ChainSegment(chain, vertex, &segment) &&
            SegmentLength(&segment) < tolerance)
            CHAIN_seg_set_type(vertex, SEG_LINE);
    }
    CHAIN_drop_cached_box(chain);
}

}  // namespace

void CHAIN_AdjustOntoSource(RING_header_s* chain_or_list, double tolerance, CHAIN_vertex_source_callback_t merge) {
    // A tolerance that is not a positive number gives no reach: refused.
    if (!chain_or_list || !std::isfinite(tolerance) || tolerance <= 0) return;
    if (chain_or_list->type == RING_TYPE_LIST) {
        for (RING_node_s* node : ring_nodes(chain_or_list))
            adjust_chain_onto_source(RING_ask_node_subring(node), tolerance, merge);
    } else {
        adjust_chain_onto_source(chain_or_list, tolerance, merge);
    }
}

void CHAIN_MendArcAfterAdjustment(RING_header_s* chain, RING_node_s* vertex) {
    if (!chain || !vertex || !vertex->previous || (!is_closed(chain) && vertex == chain->first)) {
        MERROW1_NOTE_FAILURE("CHAIN_MendArcAfterAdjustment called on non segment");
        return;
    }
    if (CHAIN_seg_ask_type(vertex) != SEG_ARC) {
        MERROW1_NOTE_FAILURE("CHAIN_MendArcAfterAdjustment called on non arc");
        return;
    }
    // The centre goes to the point of the chord's bisector nearest the old
    // centre; the radius reaches both ends; the sense stays.
    end_segment* arc = arc_of(vertex);
    const double* start = point_of(vertex->previous);
    const double mid[2] = {(start[0] + arc->x) / 2, (start[1] + arc->y) / 2};
    const double chord[2] = {arc->x - start[0], arc->y - start[1]};
    const double length = std::hypot(chord[0], chord[1]);
    if (length <= 0) return;
    const double normal[2] = {-chord[1] / length, chord[0] / length};
    const double h = (arc->cx - mid[0]) * normal[0] + (arc->cy - mid[1]) * normal[1];
    arc->cx = mid[0] + h * normal[0];
    arc->cy = mid[1] + h * normal[1];
    arc->radius = std::hypot(arc->x - arc->cx, arc->y - arc->cy);
    CHAIN_drop_cached_box(chain);
}

// ---------------------------------------------------------------------------
// Short segments

namespace {

// Where the extended neighbours of a short segment meet: on the previous
// segment or beyond its end (inside it only past its middle), on the next one
// or before its start (inside it only before its middle), within reach of the
// short segment; the nearest such point.  False when there is none.
bool meeting_point(const SEGMENT& before, const SEGMENT& small, const SEGMENT& after, double reach, double tolerance,
                   double out[2]) {
    INT_POINT points;
    const int found = SEGMENT_intersect(&before, &after, tolerance, &points);
    bool any = false;
    double best = 1e300;
    for (int i = 0; i < found && i < 2; ++i) {
        const double x[2] = {points.point[i].x, points.point[i].y};
        const LOCATION on_before = SegmentPointLocationOn(&before, x, tolerance);
        const LOCATION on_after = SegmentPointLocationOn(&after, x, tolerance);
        const bool past_before = on_before == 4 || on_before == 5 ||
                                 (on_before == 3 && SegmentPointParameter(&before, x) > 0.5);
        const bool ahead_of_after = on_after == 1 || on_after == 2 ||
                                    (on_after == 3 && SegmentPointParameter(&after, x) < 0.5);
        if (!past_before || !ahead_of_after) continue;
        const double distance = SegmentPointMinDist(&small, x, nullptr);
        if (distance > reach || distance >= best) continue;
        best = distance;
        out[0] = x[0];
        out[1] = x[1];
        any = true;
    }
    return any;
}

}  // namespace

void CHAIN_removeSmallSegmentsByExtendingNeighbours(RING_header_s* chain, double reach, double small) {
    if (!chain || chain->type != RING_TYPE_CHAIN || chain->count < 3 || !chain->main_data) return;
    if (!std::isfinite(reach) || !std::isfinite(small) || reach < 0 || small <= 0) return;
    const double tolerance = merrow1::length_tolerance_of(chain);
    const bool closed = is_closed(chain);
    for (RING_node_s* vertex : ring_nodes(chain)) {
        if (chain->count < (closed ? 4 : 3)) return;
        RING_node_s* previous = vertex->previous;
        RING_node_s* next = closed || vertex != chain->last ? vertex->next : nullptr;
        // The segment ending at the vertex and both its neighbours.
        if (!previous || !next || (!closed && (vertex == chain->first || previous == chain->first))) continue;
        SEGMENT before, segment, after;
        if (!ChainSegment(chain, previous, &before) || !ChainSegment(chain, vertex, &segment) ||
            !ChainSegment(chain, next, &after))
            continue;
        if (before.type == SEG_POINT || segment.type == SEG_POINT || after.type == SEG_POINT) continue;
        const double chord = std::sqrt(squared_distance(segment.start, &segment.end->x));
        if (chord > small || SegmentLength(&before) <= chord || SegmentLength(&after) <= chord) continue;
        double meet[2];
        if (!meeting_point(before, segment, after, reach, tolerance, meet)) continue;
        RING_delete_node(chain, vertex);
        // The previous segment now ends at the meeting point (an arc on a new
        // end record), and the next one starts there.
        if (CHAIN_seg_ask_type(previous) == SEG_ARC)
            take_geometry(chain, previous, previous, meet);
        else
            move_point(chain, previous, meet);
    }
}
