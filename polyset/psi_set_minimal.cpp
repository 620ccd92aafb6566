// Minimal loops of a set of polys (slot 3) and the uncovered paths of region
// sets (slot 4) of the polygon-set intersection object, with the steps they
// are made of: wrapping for minimal loops, hiding small self loops, the
// level flood, loop tracing, loop acceptance and the extraction.
//
// Levels, marks and the shape of a traced loop are described in
// psi_set_minimal.h.  Every walk here is bounded by the arm ends of the node
// records in use: a walk that runs past that bound, or a loop that finds no
// arm to go on with, meets an inconsistent network and ends with an internal
// error instead of running forever.
#include "polyset/psi_set_minimal.h"

#include "polyset/psi_gouge.h"
#include "polyset/psi_ray.h"

#include <merrow1/poly_intxn.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_grid.h>

#include <stend/error.h>
#include <velte/cerr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>
#include <utility>
#include <vector>

using merrow1::psi::seg_index;
using merrow1::psi::seg_piece;

namespace {

const char kFile[] = "psi_set_minimal";

typedef PSI_segment_search_wrapper_s Wrapper;

inline PSI_s* as_psi(void* object) { return static_cast<PSI_s*>(object); }

inline Wrapper* wrapper_at(DYNAMIC_ARRAY_s* array, int i) {
    return static_cast<Wrapper*>(DYNAMIC_ARRAY_element_at(array, i));
}
inline int wrapper_count(const DYNAMIC_ARRAY_s* array) { return array ? array->num_active : 0; }

inline PSI_set_loop_entry_s* candidate_at(PSI_s* psi, int i) {
    return static_cast<PSI_set_loop_entry_s*>(DYNAMIC_ARRAY_element_at(psi->pairs, i));
}

// Upper bound of the arm ends of all node records in use: no walk around a
// point, and no loop, takes more steps than this.
long arm_bound(const PSI_s* psi) { return 4L * (static_cast<long>(psi->nodes->num_active) + 1); }

// ---------------------------------------------------------------------------
// Arms
// ---------------------------------------------------------------------------

// Arm a of node n: the sub-segment that leaves n along a, toward
// n->pn_along[a].
struct Arm {
    PSI_INTXN_NODE_s* n;
    int a;
    bool operator==(const Arm& o) const { return n == o.n && a == o.a; }
    bool operator!=(const Arm& o) const { return !(*this == o); }
};

inline bool is_forward(const Arm& x) { return (x.a & 2) != 0; }
inline RING_node_s* arm_segment(const Arm& x) { return x.n->segs[x.a & 1]; }
inline bool arm_active(const Arm& x) { return x.n->pn_along[x.a] != nullptr; }
inline Arm ccw_next(const Arm& x) { return Arm{x.n->next_around[x.a], x.n->next_around_idx[x.a]}; }

// The arm at the far end of x's sub-segment that points back along it.
Arm arrival(const Arm& x) {
    PSI_INTXN_NODE_s* far = x.n->pn_along[x.a];
    const int j = far ? seg_index(far, arm_segment(x)) : -1;
    if (j < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
    return Arm{far, is_forward(x) ? j : 2 + j};
}

// Flag word of x's sub-segment: at its end node in the segment's direction.
uint16_t& side_word(const Arm& x) {
    if (is_forward(x)) {
        const Arm back = arrival(x);
        return back.n->flags[back.a & 1];
    }
    return x.n->flags[x.a & 1];
}

inline bool blanked(const Arm& x) { return (side_word(x) & PSI_NODE_FLAG_ARRIVE_BLANK) != 0; }
inline bool telomere_end(const Arm& x) { return PSI_INTXN_NODE_is_telomere_join(x.n, x.a); }
// An arm a loop may take: an active sub-segment that is not blanked, or the
// blanked free end of a telomere (taking it is a dead end).
inline bool usable(const Arm& x) { return arm_active(x) && (!blanked(x) || telomere_end(x)); }

// The arms of x's point counter-clockwise after x, x left out.
std::vector<Arm> arms_after(const PSI_s* psi, const Arm& x) {
    std::vector<Arm> out;
    const long bound = arm_bound(psi);
    long guard = 0;
    for (Arm k = ccw_next(x); k != x; k = ccw_next(k)) {
        if (++guard > bound) ERROR_internal(kFile, __LINE__, "PSI: cycle around a point does not close");
        out.push_back(k);
    }
    return out;
}

// Entry of an intersection loop for the sub-segment travelled by x: its end
// in the direction of travel and the arm there pointing back.
inline POLY_INTXN_node_s travel_entry(const Arm& x) {
    const Arm back = arrival(x);
    return POLY_INTXN_node_s{back.n, back.a};
}

// Length and twice the signed area term (chord cross product plus the arc's
// segment area) of the sub-segment travelled by x.
void subsegment_measures(const Arm& x, double* length, double* twice_area) {
    const POLY_INTXN_node_s e = travel_entry(x);
    const PNT2_s p = x.n->pnt;
    const PNT2_s q = e.node->pnt;
    const LINE_ARC_SEG_s* piece = POLY_INTXN_node_create_seg(&e, nullptr);
    if (length) *length = LINE_ARC_SEG_arc_length(&p, piece);
    if (twice_area) *twice_area = p.x * q.y - q.x * p.y + POLY_SEG_arc_area_term(&p, piece);
}

inline bool is_dummy(const RING_node_s* segment) { return (seg_piece(segment)->flags & POLY_SEG_FLAG_DUMMY) != 0; }

// ---------------------------------------------------------------------------
// Walking a wrapper's sub-segments
// ---------------------------------------------------------------------------

// Calls f(end node, segment index there) for every sub-segment of the
// wrapper, in poly order.
template <class F>
void for_each_subsegment(const PSI_s* psi, const Wrapper* w, F&& f) {
    if (!w || !w->first_nodes) return;
    const long bound = arm_bound(psi);
    for (int k = 0; k < w->count; ++k) {
        PSI_INTXN_NODE_s* n = w->first_nodes[k];
        if (!n) continue;
        int j = seg_index(n, w->segs[k]);
        if (j < 0) continue;
        for (long guard = 0; n->pn_along[2 + j]; ++guard) {
            if (guard > bound) ERROR_internal(kFile, __LINE__, "PSI: node list of a segment does not end");
            PSI_INTXN_NODE_s* m = n->pn_along[2 + j];
            const int jm = seg_index(m, w->segs[k]);
            if (jm < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
            f(m, jm);
            n = m;
            j = jm;
        }
    }
}

int cycle_size(const PSI_s* psi, const Arm& x) { return 1 + static_cast<int>(arms_after(psi, x).size()); }

// A wrapper meets itself or another poly when one of its segments is cut
// into more than one sub-segment, or when a point of it holds more arms than
// its own two.
bool has_intersections(const PSI_s* psi, const Wrapper* w) {
    if (!w || !w->first_nodes) return false;
    for (int k = 0; k < w->count; ++k) {
        PSI_INTXN_NODE_s* s = w->first_nodes[k];
        if (!s) continue;
        const int j = seg_index(s, w->segs[k]);
        if (j < 0 || !s->pn_along[2 + j]) continue;
        if (cycle_size(psi, Arm{s, 2 + j}) > 2) return true;
        PSI_INTXN_NODE_s* e = s->pn_along[2 + j];
        const int je = seg_index(e, w->segs[k]);
        if (je < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
        if (e->pn_along[2 + je]) return true;
        if (cycle_size(psi, Arm{e, je}) > 2) return true;
    }
    return false;
}

// The first sub-segment of the wrapper (in poly order) whose flag word has
// none of the bits in `skip`, as the backward arm at its end node.
bool find_start_side(const PSI_s* psi, const Wrapper* w, uint16_t skip, Arm* start) {
    bool found = false;
    for_each_subsegment(psi, w, [&](PSI_INTXN_NODE_s* n, int j) {
        if (!found && !(n->flags[j] & skip)) {
            *start = Arm{n, j};
            found = true;
        }
    });
    return found;
}

// Clears the bits of both flag words of every node of the wrapper.
void clear_wrapper_marks(const PSI_s* psi, const Wrapper* w, uint16_t bits) {
    const uint16_t keep = static_cast<uint16_t>(~bits);
    for (int k = 0; k < w->count; ++k)
        if (w->first_nodes && w->first_nodes[k]) {
            w->first_nodes[k]->flags[0] &= keep;
            w->first_nodes[k]->flags[1] &= keep;
        }
    for_each_subsegment(psi, w, [&](PSI_INTXN_NODE_s* n, int) {
        n->flags[0] &= keep;
        n->flags[1] &= keep;
    });
}

void visit_set(DYNAMIC_ARRAY_s* set, PSI_subsegment_visitor_t visitor) {
    PSI__visit_set_of_wrapped_poly(set, visitor, nullptr);
}

// ---------------------------------------------------------------------------
// The flood over the points of the network
// ---------------------------------------------------------------------------

// Walks every point reachable from arm `start` through sub-segments that are
// not blanked, the start arm's clockwise sector having level `level`.  Around
// each point the walk goes counter-clockwise; at every active arm that is
// not blanked, visit(arm, test level) is called with the level of the face
// on the arm's segment's right, and when reach(arm) answers true (the first
// time that sub-segment is reached) the far point is queued with the level
// of the sector clockwise of the arm there.  *lowest and *highest (when
// given) get the extreme sector levels met.
template <class Reach, class Visit>
void flood_points(const PSI_s* psi, const Arm& start, int level, Reach&& reach, Visit&& visit, int* lowest,
                  int* highest) {
    struct Item {
        Arm x;
        int level;
    };
    std::vector<Item> stack{Item{start, level}};
    int lo = level, hi = level;
    const long bound = arm_bound(psi);
    long pops = 0;
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        // Each sub-segment queues its far point once.
        if (++pops > 2 * bound) ERROR_internal(kFile, __LINE__, "PSI: level flood runs past the network");
        int l = item.level;
        Arm k = item.x;
        long guard = 0;
        do {
            if (++guard > bound) ERROR_internal(kFile, __LINE__, "PSI: cycle around a point does not close");
            if (arm_active(k)) {
                if (blanked(k)) {
                    if (telomere_end(k)) l += is_forward(k) ? 1 : -1;
                } else {
                    int test;
                    if (is_forward(k)) {
                        test = l;
                        ++l;
                    } else {
                        --l;
                        test = l;
                    }
                    visit(k, test);
                    if (reach(k)) {
                        const Arm far = arrival(k);
                        stack.push_back(Item{far, is_forward(k) ? test + 1 : test});
                    }
                }
                if (l < lo) lo = l;
                if (l > hi) hi = l;
            }
            k = ccw_next(k);
        } while (k != item.x);
    }
    if (lowest) *lowest = lo;
    if (highest) *highest = hi;
}

// The lowest and highest levels reachable from the start arm; every
// sub-segment reached gets the reached mark.
void scan_levels(const PSI_s* psi, const Arm& start, int level, int* lowest, int* highest) {
    flood_points(
        psi, start, level,
        [](const Arm& x) {
            uint16_t& w = side_word(x);
            if (w & PSI_MINIMAL_MARK_REACHED) return false;
            w |= PSI_MINIMAL_MARK_REACHED;
            return true;
        },
        [](const Arm&, int) {}, lowest, highest);
}

// ---------------------------------------------------------------------------
// Loop tracing
// ---------------------------------------------------------------------------

enum class Step { Take, DeadEnd };

// The arm a loop goes on with at the point where it arrived along `back` (the
// arm pointing back along the sub-segment just taken).  A loop along its
// segments keeps the level-0 face on the segment's right: counting the arms
// counter-clockwise from the arriving one (backward arms -1, forward arms +1
// after the test), every forward arm at count 0 keeps it, and the last of
// them turns most tightly.  A loop against its segments, with the level-0
// face on its left, takes the first backward arm at which the count, started
// at 1, comes back to 0.
Step choose_next(const PSI_s* psi, const Arm& back, bool along, Arm* next) {
    std::vector<Arm> around;
    for (const Arm& k : arms_after(psi, back))
        if (usable(k)) around.push_back(k);
    if (around.empty()) ERROR_internal(kFile, __LINE__, "PSI: loop finds no arm to go on with");
    const Arm c = around.front();
    const bool alone = around.size() == 1;
    if (alone && blanked(c)) return Step::DeadEnd;  // the loop runs out along a telomere
    if (alone && is_forward(c) == along) {
        *next = c;
        return Step::Take;
    }
    bool found = false;
    Arm choice{nullptr, 0};
    if (along) {
        int counter = 0;
        for (const Arm& k : around) {
            if (!is_forward(k)) {
                --counter;
            } else {
                if (counter == 0) {
                    choice = k;
                    found = true;
                }
                ++counter;
            }
        }
    } else {
        int counter = 1;
        for (const Arm& k : around) {
            if (is_forward(k)) {
                ++counter;
            } else if (--counter == 0) {
                choice = k;
                found = true;
                break;
            }
        }
    }
    if (!found) ERROR_internal(kFile, __LINE__, "PSI: loop finds no arm to go on with");
    if (blanked(choice)) return Step::DeadEnd;
    *next = choice;
    return Step::Take;
}

struct Tracer {
    PSI_s* psi;
    RING_header_s* out;         // null: candidate mode
    int number;
    RING_header_s* dummy_ring;  // may be null
    bool accepted;
    bool started;
};

// Traces one loop from the start arm (see the file comment of the header).
// 1. The start sub-segment is taken; the loop runs along the segments when
//    the start arm is a forward arm, against them otherwise.
// 2. At each point the next arm is chosen (choose_next); coming back to the
//    start arm closes the loop.
// 3. A dead end (a telomere's free end, or a sub-segment already in a loop)
//    turns the loop once: it grows from the start point in the other
//    direction.  A second dead end leaves it open.
// Output polys hold their segments in the segments' own direction: appended
// while the loop runs along, put at the front while it runs against; an open
// poly gets its start record at the front when its front end is final.
void trace_one_loop(Tracer& t, const Arm& start) {
    PSI_s* psi = t.psi;
    t.started = true;
    const long bound = arm_bound(psi);
    const bool candidates = t.out == nullptr;
    const int first = candidates ? psi->pairs->num_active : 0;
    double perimeter = 0.0;
    RING_header_s* poly = nullptr;
    if (!candidates) {
        poly = POLY_SEG_create(t.out->pool);
        POLY_SEG_append_to_set(t.out, poly);
        POLY_SEG_ask_header(poly)->loop_number = t.number;
    }
    long steps = 0;
    auto take = [&](const Arm& x, bool at_end) {
        if (++steps > bound) ERROR_internal(kFile, __LINE__, "PSI: loop runs past the arm ends of the network");
        side_word(x) |= PSI_MINIMAL_MARK_IN_LOOP;
        const PSI_set_loop_entry_s entry{x.n, x.a};
        if (candidates) {
            *static_cast<PSI_set_loop_entry_s*>(DYNAMIC_ARRAY_take_element(psi->pairs)) = entry;
            if (perimeter < PSI_LOOP_LONG_PERIMETER) {
                double length = 0.0;
                subsegment_measures(x, &length, nullptr);
                perimeter += length;
            }
            return;
        }
        PSI__set_append_loop_segment(psi, poly, &entry, at_end, true);
        const PSI_INTXN_NODE_s* far = x.n->pn_along[x.a];
        if (t.dummy_ring && is_dummy(arm_segment(x)) && (far->pnt.x != x.n->pnt.x || far->pnt.y != x.n->pnt.y)) {
            const Arm end = is_forward(x) ? arrival(x) : x;
            PSI__set_record_dummy(t.dummy_ring, end.n, end.a & 1);
        }
    };
    auto start_record = [&](const PNT2_s& p) {
        if (poly) RING_insert_after(poly, nullptr, LINE_ARC_SEG_create_line(poly->pool, &p));
    };
    bool along = is_forward(start);
    bool turned = false;
    bool closed = false;
    Arm cur = start;
    take(cur, along);
    Arm back = arrival(cur);
    for (;;) {
        Arm next{nullptr, 0};
        Step s = choose_next(psi, back, along, &next);
        if (s == Step::Take && !turned && next == start) {
            closed = true;
            break;
        }
        if (s == Step::Take && (side_word(next) & PSI_MINIMAL_MARK_IN_LOOP)) s = Step::DeadEnd;
        if (s == Step::Take) {
            cur = next;
            take(cur, along);
            back = arrival(cur);
            continue;
        }
        // A dead end at back's point.
        if (turned) {
            if (!along) start_record(back.n->pnt);
            break;
        }
        turned = true;
        if (!along) start_record(back.n->pnt);
        along = !along;
        back = start;  // the loop now leaves the start point the other way
    }
    if (poly) {
        if (closed) {
            poly->last->next = poly->first;
            poly->first->previous = poly->last;
        }
        return;
    }
    if (PSI__set_accept_loop(psi, first, perimeter, closed)) t.accepted = true;
}

// Traces every loop of level 0 reachable from the start arm.
Tracer run_trace(PSI_s* psi, const Arm& start, int level, RING_header_s* out, int number, RING_header_s* dummy) {
    Tracer t{psi, out, number, dummy, false, false};
    std::unordered_set<const uint16_t*> reached;
    flood_points(
        psi, start, level, [&](const Arm& x) { return reached.insert(&side_word(x)).second; },
        [&](const Arm& x, int test) {
            if (test == 0 && !(side_word(x) & PSI_MINIMAL_MARK_IN_LOOP)) trace_one_loop(t, x);
        },
        nullptr, nullptr);
    return t;
}

// A copy of a wrapped poly for the output, without the telomeres that the
// wrap added to an open poly.
RING_header_s* copy_without_telomeres(PSI_s* psi, const RING_header_s* poly, CMEM_pool_s* pool) {
    RING_header_s* copy = POLY_SEG_copy(poly, pool, psi->create_data);
    if (!copy || POLY_SEG_is_closed(copy) || copy->count < 3) return copy;
    if (seg_piece(copy->first->next)->flags & POLY_SEG_FLAG_START_TELOMERE) {
        RING_delete_node(copy, copy->first);
        seg_piece(copy->first)->flags &= ~static_cast<uint32_t>(POLY_SEG_FLAG_START_TELOMERE);
    }
    if (copy->count >= 3 && (seg_piece(copy->last)->flags & POLY_SEG_FLAG_END_TELOMERE))
        RING_delete_node(copy, copy->last);
    return copy;
}

// ---------------------------------------------------------------------------
// Uncovered paths
// ---------------------------------------------------------------------------

inline bool examined(const Arm& x) { return arm_active(x) && (side_word(x) & PSI_NODE_FLAG_INSIDE); }

// Marks 0x0003 on every sub-segment reachable from the arm without crossing a
// sub-segment marked 0x0001 or 0x0004 or blanked, and without going on from
// a point where an arm of the examined set (0x0004) meets.
void flood_faces(const PSI_s* psi, const Arm& first) {
    std::vector<Arm> stack{first};
    const long bound = 4 * arm_bound(psi);
    long guard = 0;
    while (!stack.empty()) {
        if (++guard > bound) ERROR_internal(kFile, __LINE__, "PSI: path flood runs past the network");
        const Arm x = stack.back();
        stack.pop_back();
        if (!arm_active(x) || blanked(x)) continue;
        uint16_t& w = side_word(x);
        if (w & (PSI_NODE_FLAG_OP_1 | PSI_NODE_FLAG_INSIDE)) continue;
        w |= PSI_NODE_FLAG_OP_1 | PSI_NODE_FLAG_OP_TAKEN;
        const Arm far = arrival(x);
        const std::vector<Arm> around = arms_after(psi, far);
        bool stop = false;
        for (const Arm& k : around) stop = stop || examined(k);
        if (stop) continue;
        for (const Arm& k : around)
            if (arm_active(k) && !blanked(k) && !(side_word(k) & (PSI_NODE_FLAG_OP_1 | PSI_NODE_FLAG_INSIDE)))
                stack.push_back(k);
    }
}

// From each end of the examined sub-segment (end node n, index j), the arms
// met counter-clockwise before the next arm of the examined set start floods:
// at the start node they lie on the segment's left, at the end node on its
// right.
void flood_both_sides(const PSI_s* psi, PSI_INTXN_NODE_s* n, int j) {
    PSI_INTXN_NODE_s* s = n->pn_along[j];
    const int js = seg_index(s, n->segs[j]);
    if (js < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
    for (const Arm& from : {Arm{s, 2 + js}, Arm{n, j}}) {
        for (const Arm& k : arms_after(psi, from)) {
            if (examined(k)) break;
            if (arm_active(k) && !blanked(k) && !(side_word(k) & PSI_NODE_FLAG_OP_1)) flood_faces(psi, k);
        }
    }
}

// The arm after `back` whose sub-segment is not blanked: the first one
// counter-clockwise (forward walk) or clockwise (backward walk); back itself
// when there is none.
Arm next_unblanked(const PSI_s* psi, const Arm& back, bool ccw) {
    std::vector<Arm> around = arms_after(psi, back);
    if (!ccw) std::reverse(around.begin(), around.end());
    for (const Arm& k : around)
        if (arm_active(k) && !blanked(k)) return k;
    return back;
}

// Traces the maximal path through the sub-segment ending at (n, j) into a new
// intersection loop of the output ring.  Entries name each sub-segment by its
// end node in the segment's direction and the backward arm there.
// 1. Forward: from the sub-segment's start take each sub-segment not yet in a
//    path (0x0002), going on at each point with the first unblanked arm
//    counter-clockwise after the arriving one, as long as it runs along its
//    segment.
// 2. Back at the start: a closed loop.
// 3. Otherwise backward from the start, mirrored (first unblanked arm
//    clockwise, against the segments), into a second loop whose entries are
//    reversed and followed by the forward ones.
void trace_path(const PSI_s* psi, RING_header_s* out, PSI_INTXN_NODE_s* n, int j) {
    const long bound = arm_bound(psi);
    POLY_INTXN_s* loop = POLY_INTXN_create(out->pool);
    RING_node_s* slot = RING_insert_after(out, out->last, loop);
    PSI_INTXN_NODE_s* s = n->pn_along[j];
    const int js = seg_index(s, n->segs[j]);
    if (js < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
    const Arm start{s, 2 + js};
    Arm cur = start;
    bool closed = false;
    long steps = 0;
    for (;;) {
        if (++steps > bound) ERROR_internal(kFile, __LINE__, "PSI: path runs past the arm ends of the network");
        side_word(cur) |= PSI_NODE_FLAG_OP_TAKEN;
        const Arm back = arrival(cur);
        POLY_INTXN_append(loop, back.n, back.a);
        const Arm next = next_unblanked(psi, back, true);
        if (next == back) break;
        if (next == start) {
            closed = true;
            break;
        }
        if (!is_forward(next) || (side_word(next) & PSI_NODE_FLAG_OP_TAKEN)) break;
        cur = next;
    }
    loop->closed = closed ? 1 : 0;
    if (closed) return;
    POLY_INTXN_s* second = POLY_INTXN_create(out->pool);
    Arm arrive = start;
    for (;;) {
        if (++steps > bound) ERROR_internal(kFile, __LINE__, "PSI: path runs past the arm ends of the network");
        const Arm next = next_unblanked(psi, arrive, false);
        if (next == arrive || is_forward(next) || (side_word(next) & PSI_NODE_FLAG_OP_TAKEN)) break;
        side_word(next) |= PSI_NODE_FLAG_OP_TAKEN;
        POLY_INTXN_append(second, next.n, next.a);
        arrive = arrival(next);
    }
    const int count = POLY_INTXN_count(second);
    if (count == 0) {
        POLY_INTXN_destroy(second);
        return;
    }
    for (int a = 0, b = count - 1; a < b; ++a, --b)
        std::swap(*POLY_INTXN_entry(second, a), *POLY_INTXN_entry(second, b));
    for (int i = 0; i < POLY_INTXN_count(loop); ++i) {
        const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
        POLY_INTXN_append(second, e->node, e->arm);
    }
    second->closed = 0;
    slot->main_data = second;
    POLY_INTXN_destroy(loop);
}

// True when the path lies in the material of the examined set (marked
// 0x0004): the set's winding at the start of the path's first sub-segment,
// from a ray over the set's polys with that point's own leaving sub-segment
// blanked, corrected by the set's arms at that point (+1 arriving, -1
// leaving) and by the set's material at infinity, is above 0.
bool path_inside(PSI_s* psi, const POLY_INTXN_s* path, DYNAMIC_ARRAY_s** set, int material) {
    const POLY_INTXN_node_s* e = POLY_INTXN_entry(path, 0);
    PSI_INTXN_NODE_s* p = e->node->pn_along[e->arm];
    if (!p) return false;
    int correction = 0;
    const Arm own{e->node, e->arm};
    const Arm at_p = arrival(own);
    for (const Arm& k : arms_after(psi, at_p))
        if (examined(k) && !blanked(k)) correction += is_forward(k) ? -1 : 1;
    const bool was_blank = (p->flags[0] & PSI_NODE_FLAG_LEAVE_BLANK) != 0;
    p->flags[0] |= PSI_NODE_FLAG_LEAVE_BLANK;
    PSI_wn_functor_s wn;
    std::memset(&wn, 0, sizeof wn);
    PSI__ray_calc_winding_number(psi, p, set, 1, 1, false, &wn);
    if (!was_blank) p->flags[0] &= static_cast<uint16_t>(~PSI_NODE_FLAG_LEAVE_BLANK);
    return wn.winding + correction + (material == 1 ? 1 : 0) > 0;
}

bool path_on_examined_set(const POLY_INTXN_s* path) {
    for (int i = 0; i < POLY_INTXN_count(path); ++i) {
        const POLY_INTXN_node_s* e = POLY_INTXN_entry(path, i);
        if (examined(Arm{e->node, e->arm})) return true;
    }
    return false;
}

// Whether every poly of the set is closed (an open one gets telomeres and
// bounds no face).
bool all_polys_closed(const RING_header_s* set) {
    const RING_node_s* pn = set ? set->first : nullptr;
    for (int i = 0; pn && i < set->count; ++i, pn = pn->next) {
        const RING_header_s* poly = RING_ask_node_subring(pn);
        if (poly && poly->first && !POLY_SEG_is_closed(poly)) return false;
        if (pn == set->last) break;
    }
    return true;
}

inline bool region_levels(const PSI_s* psi) {
    return psi->loop_levels == PSI_LOOP_LEVELS_REGION || psi->loop_levels == PSI_LOOP_LEVELS_REGION_MATERIAL_OUTSIDE;
}

// The region road: closed polys cut at all their crossings bound faces of a
// winding level each, and the region is decided from those levels.
bool region_road(const PSI_s* psi, const RING_header_s* set, PSI_set_intersect_type_t type) {
    return region_levels(psi) && type == PSI_SET_INTERSECT_SELF_AND_EARLIER && all_polys_closed(set);
}

// Each poly of the set cleaned by itself (the region-set clean of a set of
// one poly: its material where its own winding, with its material at
// infinity, is 1 or more), as a new set of the cleaned loops in the pool.  A
// poly's material is its own region, whatever the windings of its self
// overlaps: a lobe it winds the wrong way around holds no material of it,
// one it winds around twice holds it once.
RING_header_s* clean_each_poly(PSI_s* psi, RING_header_s* set, CMEM_pool_s* pool) {
    struct Rings {
        RING_header_s* singles = nullptr;
        RING_header_s* cleaned = nullptr;
        ~Rings() {
            if (singles) RING_delete(singles);
            if (cleaned) RING_delete(cleaned);
        }
    } rings;
    rings.singles = POLY_SEG_create_set_of_sets(pool);
    RING_node_s* pn = set->first;
    for (int i = 0; pn && i < set->count; ++i, pn = pn->next) {
        if (RING_header_s* poly = RING_ask_node_subring(pn)) {
            // A set that refers to the poly without owning it.
            RING_header_s* single = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
            RING_set_sub_ring_delfunc(single, nullptr);
            POLY_SEG_append_to_set(single, poly);
            POLY_SEG_append_to_set_of_sets(rings.singles, single);
        }
        if (pn == set->last) break;
    }
    rings.cleaned = POLY_SEG_create_set_of_sets(pool);
    PSI__set_clean_each_region_set(psi, rings.singles, nullptr, rings.cleaned, false, nullptr, false, true);
    RING_header_s* flat = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
    RING_node_s* sn = rings.cleaned->first;
    for (int i = 0; sn && i < rings.cleaned->count; ++i, sn = sn->next) {
        if (RING_header_s* cleaned = RING_ask_node_subring(sn)) {
            RING_node_s* cn = cleaned->first;
            for (int k = 0; cn && k < cleaned->count; ++k, cn = cn->next) {
                if (RING_header_s* loop = RING_ask_node_subring(cn)) {
                    RING_set_node_subring(cn, nullptr);
                    POLY_SEG_append_to_set(flat, loop);
                }
                if (cn == cleaned->last) break;
            }
        }
        if (sn == rings.cleaned->last) break;
    }
    return flat;
}

void unwrap_all(DYNAMIC_ARRAY_s* ws) {
    for (int i = 0; i < ws->num_active; ++i) PSI__unwrap_poly(wrapper_at(ws, i));
    DYNAMIC_ARRAY__destroy(ws);
}

// The region road of the minimal loops, on the wrapped and ordered set: the
// boundary between the faces of the network's lowest level and the others,
// walked as the region-set road walks its boundaries (higher faces on the
// left, simple loops), with the dummy covers of that road.  With
// material_outside the face at infinity is material, and so is every face
// when none lies below it: nothing comes then.
void extract_region(PSI_s* psi, DYNAMIC_ARRAY_s* ws, RING_header_s* out, bool material_outside,
                    PSI_dummy_eval_cb_t callback) {
    const int lowest = PSI__set_lowest_level(psi, &ws, 1);
    const int offset = material_outside && lowest >= 0 ? 1 - lowest : -lowest;
    PSI_set_output_s output{out, 0, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, psi->create_data};
    RING_header_s* dummies = PSI__set_create_dummy_ring(out->pool);
    RING_header_s* second = PSI__set_create_dummy_ring(out->pool);
    try {
        PSI__set_extract_final_boundaries(psi, &ws, 1, offset, &output, dummies, false, nullptr);
        if (dummies->count > 0) PSI__set_cover_paths(psi, &ws, 1, offset, &output, dummies, second, false, callback);
    } catch (...) {
        RING_delete(dummies);
        RING_delete(second);
        throw;
    }
    RING_delete(dummies);
    RING_delete(second);
    POLY_SEG_reround_arcs_in_set(out);
}

}  // namespace

// ---------------------------------------------------------------------------
// Minimal-loop support
// ---------------------------------------------------------------------------

DYNAMIC_ARRAY_s* PSI__set_wrap_set_for_minimal_loops(void* object, RING_header_s* set,
                                                     PSI_set_intersect_type_t type) {
    PSI_s* psi = as_psi(object);
    POLY_SEG_add_telomeres_to_set(set);
    DYNAMIC_ARRAY_s* ws = DYNAMIC_ARRAY__create(psi->pool, static_cast<int>(sizeof(Wrapper)), 5, 5);
    const bool self = type == PSI_SET_INTERSECT_SELF_AND_EARLIER || type == PSI_SET_INTERSECT_SELF_ONLY;
    // On the region road the polys meet once all have hidden their small
    // self loops, with coincident segments hidden.
    const bool region = region_road(psi, set, type);
    const bool earlier =
        !region && (type == PSI_SET_INTERSECT_SELF_AND_EARLIER || type == PSI_SET_INTERSECT_EARLIER_ONLY);
    RING_node_s* pn = set ? set->first : nullptr;
    for (int i = 0; pn && i < set->count; ++i, pn = pn->next) {
        RING_header_s* poly = RING_ask_node_subring(pn);
        if (poly) {
            const int before = ws->num_active;
            if (Wrapper* w = PSI__wrap_poly_into(psi, ws, poly)) {
                CERR_raise_on_abort();
                PSI__ixn_init_poly_intxn_nodes(psi, w);
                if (self) {
                    PSI__ixn_intersect_2_poly(psi, w, w, nullptr);
                    if (w->pending) {
                        PSI__ixn_sort_intersects(psi, w);
                        PSI__set_hide_small_self_loops(psi, w);
                    }
                }
                if (earlier)
                    for (int j = 0; j < before; ++j) PSI__ixn_intersect_2_poly(psi, w, wrapper_at(ws, j), nullptr);
            }
        }
        if (pn == set->last) break;
    }
    if (region) {
        // Every pair of polys is intersected once; of coincident segments
        // the later one goes and the kept one takes its weight.
        DYNAMIC_ARRAY_s* hidden = DYNAMIC_ARRAY__create(psi->pool, static_cast<int>(sizeof(int)), 5, 5);
        PSI__ixn_hide_duplicates(psi, ws, ws, hidden);
        DYNAMIC_ARRAY__destroy(hidden);
    }
    return ws;
}

int PSI__set_lowest_level_of_set(void* object, RING_header_s* set) {
    PSI_s* psi = as_psi(object);
    if (!psi || !set || !set->first) return 0;
    const PSI_loop_levels_t levels = psi->loop_levels;
    psi->loop_levels = PSI_LOOP_LEVELS_REGION;
    // The polys as the region road reads them: each cleaned by itself, so a
    // lobe one winds the wrong way round lays no level below 0.
    RING_header_s* cleaned = nullptr;
    DYNAMIC_ARRAY_s* ws = nullptr;
    try {
        if (all_polys_closed(set)) cleaned = clean_each_poly(psi, set, set->pool);
        RING_header_s* read = cleaned ? cleaned : set;
        PSI__reset(psi);
        PSI__fit_nodes_to_input(psi, PSI__count_pieces(read, 1));
        ws = PSI__set_wrap_set_for_minimal_loops(psi, read, PSI_SET_INTERSECT_SELF_AND_EARLIER);
        for (int i = 0; i < ws->num_active; ++i) PSI__ixn_sort_intersects(psi, wrapper_at(ws, i));
        const int lowest = PSI__set_lowest_level(psi, &ws, 1);
        unwrap_all(ws);
        if (cleaned) RING_delete(cleaned);
        psi->loop_levels = levels;
        return lowest;
    } catch (...) {
        if (ws) unwrap_all(ws);
        if (cleaned) RING_delete(cleaned);
        psi->loop_levels = levels;
        throw;
    }
}

void PSI__set_hide_small_self_loops(void* object, PSI_segment_search_wrapper_s* w) {
    PSI_s* psi = as_psi(object);
    if (!psi || !w || w->count == 0 || !has_intersections(psi, w)) return;
    Arm start{nullptr, 0};
    if (!find_start_side(psi, w, PSI_NODE_FLAG_ARRIVE_BLANK, &start)) return;
    int lowest = 0, highest = 0;
    scan_levels(psi, start, 0, &lowest, &highest);
    DA_set_num_active(psi->pairs, 0);
    // One try per level, from the loops around the lowest faces toward the
    // higher ones, until a try finds a real loop.  Small loops met on the way
    // stay in the candidate list.
    int tries = 0;
    for (int level = -lowest; level >= -highest && tries < w->count; --level, ++tries) {
        const Tracer t = run_trace(psi, start, level, nullptr, 0, nullptr);
        clear_wrapper_marks(psi, w, PSI_MINIMAL_MARK_IN_LOOP | PSI_MINIMAL_MARK_REACHED);
        if (t.accepted) break;
    }
    // Every sub-segment left in the list is blanked at both of its ends.
    for (int i = 0; i < psi->pairs->num_active; ++i) {
        const PSI_set_loop_entry_s* e = candidate_at(psi, i);
        const Arm x{e->node, e->arm};
        const Arm back = arrival(x);
        const bool forward = is_forward(x);
        x.n->flags[x.a & 1] |= forward ? PSI_NODE_FLAG_LEAVE_BLANK : PSI_NODE_FLAG_ARRIVE_BLANK;
        back.n->flags[back.a & 1] |= forward ? PSI_NODE_FLAG_ARRIVE_BLANK : PSI_NODE_FLAG_LEAVE_BLANK;
    }
    DA_set_num_active(psi->pairs, 0);
}

bool PSI__set_trace_loops(void* object, PSI_INTXN_NODE_s* node, int side, int level, RING_header_s* out, int number,
                          RING_header_s* dummy_ring) {
    PSI_s* psi = as_psi(object);
    if (!psi || !node || side < 0 || side > 3) return false;
    const Tracer t = run_trace(psi, Arm{node, side}, level, out, number, dummy_ring);
    return out ? false : t.accepted;
}

void PSI__set_append_loop_segment(void* object, RING_header_s* poly, const PSI_set_loop_entry_s* entry, bool at_end,
                                  bool handled) {
    PSI_s* psi = as_psi(object);
    if (!poly || !entry || !entry->node) return;
    // The sub-segment in its segment's direction: its end node and the
    // backward arm there.
    const Arm x{entry->node, entry->arm};
    const Arm end = is_forward(x) ? arrival(x) : x;
    const POLY_INTXN_node_s e{end.n, end.a};
    LINE_ARC_SEG_s* piece = POLY_INTXN_node_create_seg(&e, poly->pool);
    RING_node_s* fresh = RING_insert_after(poly, at_end ? poly->last : nullptr, piece);
    if (psi && psi->create_data) {
        bool flag = handled;
        psi->create_data(poly, arm_segment(x), fresh, &flag, nullptr);
    }
}

bool PSI__set_accept_loop(void* object, int start, double perimeter, bool closed) {
    PSI_s* psi = as_psi(object);
    DYNAMIC_ARRAY_s* list = psi->pairs;
    // 1. Long loops are real.
    if (perimeter >= PSI_LOOP_LONG_PERIMETER) {
        DA_set_num_active(list, start);
        return true;
    }
    // 2. Open loops by their length.
    if (!closed) {
        if (perimeter >= PSI_LOOP_OPEN_PERIMETER) {
            DA_set_num_active(list, start);
            return true;
        }
        PSI__set_drop_unmarked_loop(psi, start);
        return false;
    }
    // 3. Short closed loops are small.
    if (perimeter < PSI_LOOP_CLOSED_PERIMETER) {
        PSI__set_drop_unmarked_loop(psi, start);
        return false;
    }
    // 4. Closed loops by area over perimeter.
    double twice = 0.0;
    bool dummy = false;
    for (int i = start; i < list->num_active; ++i) {
        const PSI_set_loop_entry_s* e = candidate_at(psi, i);
        const Arm x{e->node, e->arm};
        double term = 0.0;
        subsegment_measures(x, nullptr, &term);
        twice += term;
        dummy = dummy || is_dummy(arm_segment(x));
    }
    if (std::fabs(twice / 2) / perimeter >= PSI_LOOP_AREA_RATIO) {
        DA_set_num_active(list, start);
        return true;
    }
    if (dummy) DA_set_num_active(list, start);
    return false;
}

void PSI__set_drop_unmarked_loop(void* object, int start) {
    PSI_s* psi = as_psi(object);
    for (int i = start; i < psi->pairs->num_active; ++i) {
        const PSI_set_loop_entry_s* e = candidate_at(psi, i);
        if (is_dummy(e->node->segs[e->arm & 1])) {
            DA_set_num_active(psi->pairs, start);
            return;
        }
    }
}

void PSI__set_extract_minimal_loops(void* object, DYNAMIC_ARRAY_s* wrapped, RING_header_s* out,
                                    RING_header_s* dummy_ring) {
    PSI_s* psi = as_psi(object);
    if (!psi || !out) return;
    PSI__set_clear_node_marks(psi, static_cast<uint16_t>(~(PSI_MINIMAL_MARK_IN_LOOP | PSI_MINIMAL_MARK_REACHED)));
    int number = 0;
    for (int i = 0; i < wrapper_count(wrapped); ++i) {
        Wrapper* w = wrapper_at(wrapped, i);
        if (!has_intersections(psi, w)) {
            // A poly that meets nothing is its own minimal loop.
            RING_header_s* copy = copy_without_telomeres(psi, w->poly, out->pool);
            if (!copy) continue;
            POLY_SEG_ask_header(copy)->loop_number = number++;
            POLY_SEG_append_to_set(out, copy);
            if (dummy_ring)
                for_each_subsegment(psi, w, [&](PSI_INTXN_NODE_s* n, int j) {
                    if (is_dummy(n->segs[j])) PSI__set_record_dummy(dummy_ring, n, j);
                });
            continue;
        }
        // The part of the network this wrapper lies in, unless an earlier
        // wrapper's flood reached it: its loops at every level, from the
        // loops around the lowest faces up, or only the loops around the
        // lowest faces when the object asks so.
        Arm start{nullptr, 0};
        if (!find_start_side(psi, w, PSI_NODE_FLAG_ARRIVE_BLANK | PSI_MINIMAL_MARK_REACHED, &start)) continue;
        CERR_raise_on_abort();
        int lowest = 0, highest = 0;
        scan_levels(psi, start, 0, &lowest, &highest);
        const int last = psi->loop_levels == PSI_LOOP_LEVELS_LOWEST ? -lowest : -highest;
        for (int level = -lowest; level >= last; --level) run_trace(psi, start, level, out, number, dummy_ring);
        ++number;
    }
}

// ---------------------------------------------------------------------------
// Minimal loops and uncovered paths
// ---------------------------------------------------------------------------

void PSI__set_find_minimal_loops(void* object, RING_header_s* set, PSI_set_intersect_type_t type, RING_header_s* out,
                                 PSI_dummy_eval_cb_t callback) {
    PSI_s* psi = as_psi(object);
    if (!psi || !set || !out) return;
    bool any_poly = false;
    RING_node_s* pn = set->first;
    for (int i = 0; pn && i < set->count && !any_poly; ++i, pn = pn->next)
        any_poly = RING_ask_node_subring(pn) != nullptr;
    if (!any_poly) return;
    // On the region road each poly is first cleaned by itself; the cleaned
    // loops stand for it from here on.
    RING_header_s* cleaned = nullptr;
    if (region_road(psi, set, type)) set = cleaned = clean_each_poly(psi, set, out->pool);
    struct CleanedSet {
        RING_header_s*& set;
        bool keep;
        ~CleanedSet() {
            if (set && !keep) RING_delete(set);
        }
    } cleaned_guard{cleaned, psi->keep_wrappers};
    // 1-2. A fresh network of the set, ordered.
    PSI__reset(psi);
    PSI__fit_nodes_to_input(psi, PSI__count_pieces(set, 1));
    DYNAMIC_ARRAY_s* ws = PSI__set_wrap_set_for_minimal_loops(psi, set, type);
    for (int i = 0; i < ws->num_active; ++i) PSI__ixn_sort_intersects(psi, wrapper_at(ws, i));
    // Closed polys cut at all their crossings: the region's boundary by the
    // levels of the faces (see extract_region).
    if (region_road(psi, set, type)) {
        extract_region(psi, ws, out, psi->loop_levels == PSI_LOOP_LEVELS_REGION_MATERIAL_OUTSIDE, callback);
        if (!psi->keep_wrappers) unwrap_all(ws);
        return;
    }
    // 3. Extract, recording the dummies on the loops.
    RING_header_s* dummies = PSI__set_create_dummy_ring(out->pool);
    PSI__set_extract_minimal_loops(psi, ws, out, dummies);
    // 4. Dummies met: the first result goes; the dummies are covered and the
    // loops extracted again.
    RING_header_s* covers = nullptr;
    if (dummies->count > 0) {
        RING_delete_all_nodes(out);
        covers = PSI__set_cover_dummies(psi, &ws, 1, dummies, false, callback);
        PSI__set_extract_minimal_loops(psi, ws, out, nullptr);
        RING_delete_all_nodes(dummies);
    }
    // 5. The loops stay on the set's grid.
    if (ws->num_active > 0) {
        RING_header_s* first = wrapper_at(ws, 0)->poly;
        RING_node_s* n = out->first;
        for (int i = 0; n && i < out->count; ++i, n = n->next) {
            RING_header_s* loop = RING_ask_node_subring(n);
            if (loop) POLY_SEG_copy_scaling(first, loop);
            if (n == out->last) break;
        }
    }
    // 6. Wrappers and covers go unless the object goes with its pool.
    if (!psi->keep_wrappers) {
        for (int i = 0; i < ws->num_active; ++i) PSI__unwrap_poly(wrapper_at(ws, i));
        DYNAMIC_ARRAY__destroy(ws);
        if (covers) RING_delete(covers);
    }
    RING_delete(dummies);
}

void PSI__set_collect_uncovered_paths(void* object, RING_header_s** sets, bool* marked, int count,
                                      RING_header_s* out) {
    PSI_s* psi = as_psi(object);
    if (!psi || !sets || count <= 0 || !out) return;
    // 1. A fresh network; one wrapper array and one material value per set.
    PSI__reset(psi);
    long pieces = 0;
    for (int i = 0; i < count; ++i) pieces += PSI__count_pieces(sets[i], 1);
    PSI__fit_nodes_to_input(psi, pieces);
    DYNAMIC_ARRAY_s** wrapped = CMEM_NEW_ARRAY(psi->pool, DYNAMIC_ARRAY_s*, count);
    int* material = CMEM_NEW_ARRAY(psi->pool, int, count);
    const auto is_marked = [&](int i) { return marked && marked[i]; };
    // 2. Each set with its self-intersections; a marked set's material at
    // infinity is taken before the sets meet.
    for (int i = 0; i < count; ++i) {
        material[i] = 0;
        wrapped[i] = PSI__set_wrap_set_for_minimal_loops(psi, sets[i], PSI_SET_INTERSECT_SELF_ONLY);
        if (is_marked(i)) {
            for (int k = 0; k < wrapped[i]->num_active; ++k)
                if (wrapper_at(wrapped[i], k)->pending) PSI__ixn_sort_intersects(psi, wrapper_at(wrapped[i], k));
            material[i] = PSI__set_is_wrap_mat_at_inf(psi, wrapped[i]);
            visit_set(wrapped[i], PSI_clear_subsegment_inside);
        }
    }
    // 3. Every pair of sets; the order along the segments once the last set
    // has met every other.
    for (int i = 1; i < count; ++i)
        for (int j = 0; j < i; ++j)
            PSI__ixn_intersect_2_sets(psi, wrapped[i], wrapped[j], i == count - 1 && j == i - 1, i == count - 1);
    // 4. From every sub-segment of each set, the other sets' sub-segments
    // that meet it are flooded.
    for (int i = 0; i < count; ++i) {
        visit_set(wrapped[i], PSI_set_subsegment_inside);
        for (int k = 0; k < wrapped[i]->num_active; ++k)
            for_each_subsegment(psi, wrapper_at(wrapped[i], k), [&](PSI_INTXN_NODE_s* n, int j) {
                if (!(n->flags[j] & PSI_NODE_FLAG_ARRIVE_BLANK)) flood_both_sides(psi, n, j);
            });
        visit_set(wrapped[i], PSI_clear_subsegment_inside);
        if (count >= 3 && i < count - 1)
            for (int m = 0; m < count; ++m)
                if (m != i) visit_set(wrapped[m], PSI_clear_subsegment_op_1);
    }
    // 5. The paths through every sub-segment not yet taken.
    for (int i = 0; i < count; ++i)
        for (int k = 0; k < wrapped[i]->num_active; ++k)
            for_each_subsegment(psi, wrapper_at(wrapped[i], k), [&](PSI_INTXN_NODE_s* n, int j) {
                if (!(n->flags[j] & (PSI_NODE_FLAG_OP_TAKEN | PSI_NODE_FLAG_ARRIVE_BLANK))) trace_path(psi, out, n, j);
            });
    // 6. Paths inside a marked set's material go.
    for (int i = 0; i < count && out->count > 0; ++i) {
        if (!is_marked(i)) continue;
        visit_set(wrapped[i], PSI_set_subsegment_inside);
        std::vector<RING_node_s*> paths;
        RING_node_s* n = out->first;
        for (int c = 0; n && c < out->count; ++c, n = n->next) {
            paths.push_back(n);
            if (n == out->last) break;
        }
        for (RING_node_s* rn : paths) {
            const POLY_INTXN_s* path = static_cast<const POLY_INTXN_s*>(rn->main_data);
            if (!path || POLY_INTXN_count(path) == 0 || path_on_examined_set(path)) continue;
            if (path_inside(psi, path, &wrapped[i], material[i])) RING_delete_node(out, rn);
        }
        if (i != count - 1) visit_set(wrapped[i], PSI_clear_subsegment_inside);
    }
    // The loops refer to the network; the wrappers go unless the object goes
    // with its pool.
    if (!psi->keep_wrappers) {
        for (int i = 0; i < count; ++i) {
            for (int k = 0; k < wrapped[i]->num_active; ++k) PSI__unwrap_poly(wrapper_at(wrapped[i], k));
            DYNAMIC_ARRAY__destroy(wrapped[i]);
        }
        CMEM_private_delete_object(wrapped);
        CMEM_private_delete_object(material);
    }
}
