// Gouge checks, path cutting and dummy covers of the polygon-set
// intersection object.
//
// A path is a wrapped poly laid into the same network as the region sets it
// is tested against.  Its own sub-segments are blanked so that the set-level
// walks never take them, and its own segments never count in the level.
//
// Level along a path.  The level at the path's first node comes from a ray
// (the winding of the sets there, plus the offset).  At every later node the
// path arrives along one arm and leaves along another, both in the cycle of
// arms around the node's point.  Turning counter-clockwise from the arriving
// arm to the leaving arm sweeps the sectors on the path's right from the
// face before the node to the face after it; every set arm passed on the way
// changes the winding: a forward arm (the set segment leaves the point) is
// crossed from its right to its left, +weight; a backward arm (the segment
// arrives) from its left to its right, -weight.  Blanked arms are passed
// over.
#include "polyset/psi_gouge.h"

#include "exact/wide_int.h"
#include "polyset/psi_ray.h"

#include <merrow1/int_grid_map.h>

#include <stend/error.h>
#include <stend/system.h>
#include <velte/cerr.h>

#include <cmath>
#include <unordered_set>
#include <vector>

using merrow1::psi::seg_end;
using merrow1::psi::seg_index;
using merrow1::psi::seg_piece;
using merrow1::psi::seg_start;

namespace {

const char kFile[] = "psi_gouge";

typedef PSI_segment_search_wrapper_s Wrapper;

// Segment flags read and written here.
enum : uint32_t {
    FLAG_DUMMY = 0x1,
    FLAG_COVER_TO_POINT = 0x2,   // cover line from the dummy's start toward the cover point
    FLAG_COVER_TO_END = 0x4,     // cover line back to the dummy's end
    FLAG_NOT_COVERED = 0x80,     // a dummy that is never covered
    FLAG_COVER_LEFT = 0x2000,    // a dummy covered toward its left
    FLAG_COVER_RIGHT = 0x4000,   // a dummy covered toward its right
};

// Distance (grid units) by which a dummy's cover is moved off the dummy, and
// the limits that keep a moved arc sound.
const double kCoverDistance = 10.0;
const double kCoverMinArcGrowRadius = 3.0;  // an arc moved away from its centre needs more radius than this
const double kCoverMinChordSquared = 9.0;   // new ends at least 3 units apart
const double kCoverMinRadius = 5.0;

struct Arm {
    PSI_INTXN_NODE_s* node;
    int arm;
    bool operator==(const Arm& o) const { return node == o.node && arm == o.arm; }
    bool operator!=(const Arm& o) const { return !(*this == o); }
};

Arm next_around(const Arm& a) { return Arm{a.node->next_around[a.arm], a.node->next_around_idx[a.arm]}; }

RING_node_s* arm_segment(const Arm& a) { return a.node->segs[a.arm & 1]; }

bool is_forward(int arm) { return (arm & 2) != 0; }

// A forward arm's sub-segment leaves the node (mark 0x0020 at the node); a
// backward arm's arrives (mark 0x0010).
bool arm_blanked(const Arm& a) {
    const uint16_t f = a.node->flags[a.arm & 1];
    return is_forward(a.arm) ? (f & PSI_NODE_FLAG_LEAVE_BLANK) != 0 : (f & PSI_NODE_FLAG_ARRIVE_BLANK) != 0;
}

// Records in use bound every walk over the network.
long walk_bound(const PSI_s* psi) { return 4L * (static_cast<long>(psi->nodes->num_active) + 2); }

bool same_point(const PNT2_s& a, const PNT2_s& b) { return a.x == b.x && a.y == b.y; }

Wrapper* wrapper_at(DYNAMIC_ARRAY_s* set, int i) { return static_cast<Wrapper*>(DYNAMIC_ARRAY_element_at(set, i)); }

int wrapper_count(const DYNAMIC_ARRAY_s* set) { return set ? set->num_active : 0; }

// A scratch array of wrappers; each poly of the ring gets one, nodes laid;
// polys that keep no segment are left out.
DYNAMIC_ARRAY_s* wrap_set(PSI_s* psi, RING_header_s* set, int shift, int capacity) {
    DYNAMIC_ARRAY_s* array = DYNAMIC_ARRAY__create(psi->pool, static_cast<int>(sizeof(Wrapper)), shift, capacity);
    if (!array) ERROR_internal(kFile, __LINE__, "PSI: cannot create a wrapper array");
    if (!set) return array;
    RING_node_s* n = set->first;
    for (int i = 0; n && i < set->count; ++i, n = n->next) {
        RING_header_s* poly = RING_ask_node_subring(n);
        if (Wrapper* w = poly ? PSI__wrap_poly_into(psi, array, poly) : nullptr) {
            CERR_raise_on_abort();
            PSI__ixn_init_poly_intxn_nodes(psi, w);
        }
        if (n == set->last) break;
    }
    return array;
}

// Unwraps the wrappers and destroys the array unless the object keeps them.
void release_set(PSI_s* psi, DYNAMIC_ARRAY_s* set) {
    if (!set || psi->keep_wrappers) return;
    for (int i = 0; i < set->num_active; ++i) PSI__unwrap_poly(wrapper_at(set, i));
    DYNAMIC_ARRAY__destroy(set);
}

// Blanks the path's sub-segments, intersects the path with every wrapper of
// the set and orders the nodes of every wrapper that got new ones, then the
// path's.
void intersect_path_with_set(PSI_s* psi, Wrapper* path, DYNAMIC_ARRAY_s* set) {
    PSI__visit_wrapped_poly_intxn(path, PSI_blank_subsegment, nullptr);
    for (int i = 0; i < wrapper_count(set); ++i) {
        Wrapper* w = wrapper_at(set, i);
        CERR_raise_on_abort();
        const int earlier = w->pending;
        w->pending = 0;
        PSI__ixn_intersect_2_poly(psi, path, w, nullptr);
        if (w->pending || earlier) PSI__ixn_sort_intersects(psi, w);
    }
    PSI__ixn_sort_intersects(psi, path);
}

// The winding of the set's polys in the face where the path starts.  The
// ray answers for the face on the right of the start node's first
// sub-segment (the path's), counting that sub-segment itself (-weight on the
// side its working direction puts the ray's start, unless it is blanked);
// the path is not part of the sets, so that share is taken off again.
int winding_at_path_start(PSI_s* psi, PSI_INTXN_NODE_s* start, DYNAMIC_ARRAY_s* set, bool record,
                          PSI_wn_functor_s* wn) {
    DYNAMIC_ARRAY_s* sets[1] = {set};
    const int use_blanks = 1;
    PSI__ray_calc_winding_number(psi, start, sets, set ? 1 : 0, use_blanks, record, wn);
    const uint16_t f = start->flags[0];
    const bool reversed = (f & PSI_NODE_FLAG_REVERSED) != 0;
    int own = 0;
    if (!(use_blanks && (f & PSI_NODE_FLAG_LEAVE_BLANK))) {
        if (wn->vertical)
            own = reversed ? -1 : 0;
        else
            own = (!reversed) == (wn->side == 1) ? -1 : 0;
    }
    return wn->winding - own * PSI__set_segment_weight(start->segs[0]);
}

// One place along a path where a sub-segment ends: the arm pointing back
// along the arriving sub-segment and the arm leaving along the next one
// (null node at the end of an open path and at the closing point of a closed
// one).
struct PathStep {
    Arm in;
    Arm out;
    RING_node_s* in_seg;
    RING_node_s* out_seg;
};

// The places of the path in order, from the end of its first sub-segment to
// the end of its last one.
std::vector<PathStep> path_steps(const PSI_s* psi, const Wrapper* path) {
    std::vector<PathStep> steps;
    const long bound = walk_bound(psi);
    for (int i = 0; i < path->count; ++i) {
        RING_node_s* seg = path->segs[i];
        PSI_INTXN_NODE_s* n = path->first_nodes ? path->first_nodes[i] : nullptr;
        long guard = 0;
        while (n) {
            if (++guard > bound) ERROR_internal(kFile, __LINE__, "PSI: node list of a path segment does not end");
            const int j = seg_index(n, seg);
            if (j < 0) ERROR_internal(kFile, __LINE__, "PSI: path segment lost along its node list");
            PSI_INTXN_NODE_s* m = n->pn_along[2 + j];
            if (!m) break;
            const int k = seg_index(m, seg);
            if (k < 0) ERROR_internal(kFile, __LINE__, "PSI: path segment lost along its node list");
            PathStep s{Arm{m, k}, Arm{nullptr, 0}, seg, nullptr};
            if (m->pn_along[2 + k]) {
                s.out = Arm{m, 2 + k};
                s.out_seg = seg;
            } else if (i + 1 < path->count && path->first_nodes[i + 1]) {
                PSI_INTXN_NODE_s* next = path->first_nodes[i + 1];
                const int nj = seg_index(next, path->segs[i + 1]);
                if (nj < 0) ERROR_internal(kFile, __LINE__, "PSI: path segment lost at its start node");
                s.out = Arm{next, 2 + nj};
                s.out_seg = path->segs[i + 1];
            }
            steps.push_back(s);
            n = m;
        }
    }
    return steps;
}

// The path's own segments, which never count.
std::unordered_set<const RING_node_s*> segments_of(const Wrapper* path) {
    std::unordered_set<const RING_node_s*> segs;
    for (int i = 0; i < path->count; ++i) segs.insert(path->segs[i]);
    return segs;
}

// The level change over a place of the path: the weights of the set arms
// passed when turning counter-clockwise from the arriving arm to the leaving
// arm (see the file comment).  visit, when given, is called for every arm
// counted.  A place where the leaving arm is not in the arriving arm's cycle
// (a gap in the path) changes nothing.
template <class Visit>
int level_change(const PSI_s* psi, const PathStep& s, const std::unordered_set<const RING_node_s*>& own,
                 Visit visit) {
    if (!s.out.node || !same_point(s.in.node->pnt, s.out.node->pnt)) return 0;
    const long bound = walk_bound(psi);
    int change = 0;
    std::vector<Arm> counted;
    Arm r = next_around(s.in);
    for (long guard = 0; r != s.out; ++guard) {
        if (r == s.in || guard > bound) return 0;
        RING_node_s* seg = arm_segment(r);
        if (seg && !own.count(seg) && !arm_blanked(r)) {
            const int w = PSI__set_segment_weight(seg);
            change += is_forward(r.arm) ? w : -w;
            counted.push_back(r);
        }
        r = next_around(r);
    }
    for (const Arm& a : counted) visit(a);
    return change;
}

int level_change(const PSI_s* psi, const PathStep& s, const std::unordered_set<const RING_node_s*>& own) {
    return level_change(psi, s, own, [](const Arm&) {});
}

PSI_path_record_s* new_record(RING_header_s* out, const PNT2_s& p, RING_node_s* seg, bool outside,
                              PSI_INTXN_NODE_s* end_node) {
    PSI_path_record_s* r = CMEM_NEW(out->pool, PSI_path_record_s);
    r->pnt = p;
    r->seg = seg;
    r->outside = outside ? 1 : 0;
    r->continuation = 0;
    r->end_node = end_node;
    return r;
}

int delete_path_record(RING_header_s*, RING_node_s* node) {
    CMEM_private_delete_object(node->main_data);
    node->main_data = nullptr;
    return 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Path records
// ---------------------------------------------------------------------------

RING_header_s* PSI__set_create_path_ring(CMEM_pool_s* pool) {
    RING_header_s* ring = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
    if (ring) RING_set_node_main_data_delfunc(ring, delete_path_record);
    return ring;
}

// ---------------------------------------------------------------------------
// Degouge pass
// ---------------------------------------------------------------------------

void PSI__set_degouge_poly_seg(void* object, DYNAMIC_ARRAY_s* set, int offset, Wrapper* path, bool intersect_first,
                               RING_header_s* out) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    // 1. An empty path does nothing.
    if (!psi || !out || !path || path->count == 0 || !path->first_nodes || !path->first_nodes[0]) return;
    // 2. The path in the network.
    if (intersect_first) intersect_path_with_set(psi, path, set);
    // 3. The level at the start and the first record.
    PSI_INTXN_NODE_s* first = path->first_nodes[0];
    PSI_wn_functor_s wn;
    int level = winding_at_path_start(psi, first, set, false, &wn) + offset;
    const bool closed = POLY_SEG_is_closed(path->poly);
    const int first_index = seg_index(first, path->segs[0]);
    std::vector<PSI_path_record_s*> records;
    std::vector<RING_node_s*> arriving;  // per record: the path segment on which the piece ending there ends
    records.push_back(new_record(out, first->pnt, path->segs[0], true, first->pn_along[2 + first_index]));
    arriving.push_back(nullptr);
    const bool start_state = level < 1;
    // 4. The transitions along the path.
    const std::unordered_set<const RING_node_s*> own = segments_of(path);
    const std::vector<PathStep> steps = path_steps(psi, path);
    PNT2_s last_point = first->pnt;
    RING_node_s* last_seg = path->segs[0];
    for (const PathStep& s : steps) {
        last_point = s.in.node->pnt;
        last_seg = s.in_seg;
        if (!s.out.node) continue;
        const bool before = level < 1;
        level += level_change(psi, s, own);
        if ((level < 1) != before) {
            records.push_back(new_record(out, s.in.node->pnt, s.out_seg, before, s.out.node->pn_along[s.out.arm]));
            arriving.push_back(s.in_seg);
        }
    }
    // 5. The ends.
    const bool final_state = level < 1;
    if (closed) {
        if (records.size() == 1 || final_state != start_state) {
            records[0]->outside = final_state ? 1 : 0;
        } else {
            CMEM_private_delete_object(records[0]);
            records.erase(records.begin());
            arriving.erase(arriving.begin());
            if (arriving[0] == path->segs[0]) records[0]->continuation = 1;
        }
    } else {
        records.push_back(new_record(out, last_point, last_seg, final_state, nullptr));
    }
    for (PSI_path_record_s* r : records) RING_insert_after(out, out->last, r);
    if (out->first) {
        out->last->next = out->first;
        out->first->previous = out->last;
    }
}

// ---------------------------------------------------------------------------
// Region gouge check
// ---------------------------------------------------------------------------

bool PSI__set_region_gouge_check(void* object, RING_header_s* region_set, Korvo::Cam::MaterialAtInfinity material,
                                 RING_header_s* path_poly) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!psi) return false;
    PSI__reset(psi);
    PSI__fit_nodes_to_input(psi, PSI__count_pieces(region_set, 1) + (path_poly ? path_poly->count : 0));
    // 1. The region set, wrapped.
    DYNAMIC_ARRAY_s* set = wrap_set(psi, region_set, 5, 10);
    // 2. An undetermined material value is worked out on the set itself.
    int mat = static_cast<int>(material);
    if (mat == Korvo::Cam::MaterialAtInfinityUndetermined) {
        PSI__ixn_intersect_2_sets(psi, set, set, true, true);
        mat = PSI__set_is_wrap_mat_at_inf(psi, set);
    }
    // 3. The path, its level at the start.
    DYNAMIC_ARRAY_s* path_array = DYNAMIC_ARRAY__create(psi->pool, static_cast<int>(sizeof(Wrapper)), 1, 1);
    if (!path_array) ERROR_internal(kFile, __LINE__, "PSI: cannot create a wrapper array");
    Wrapper* path = static_cast<Wrapper*>(DYNAMIC_ARRAY_take_element(path_array));
    PSI__wrap_poly(psi, path_poly, path);
    bool gouges = false;
    if (path->count > 0) {
        PSI__ixn_init_poly_intxn_nodes(psi, path);
        intersect_path_with_set(psi, path, set);
        PSI_wn_functor_s wn;
        int level = winding_at_path_start(psi, path->first_nodes[0], set, false, &wn) + mat;
        // 4. Material at the start, or a node after which the level is
        // positive.
        if (level >= 1) {
            gouges = true;
        } else {
            const std::unordered_set<const RING_node_s*> own = segments_of(path);
            for (const PathStep& s : path_steps(psi, path)) {
                level += level_change(psi, s, own);
                if (level > 0) {
                    gouges = true;
                    break;
                }
            }
        }
    }
    // 5. The scratch arrays.
    release_set(psi, path_array);
    release_set(psi, set);
    return gouges;
}

// ---------------------------------------------------------------------------
// Intersection visitor
// ---------------------------------------------------------------------------

void PSI__set_visit_poly_intersections(void* object, DYNAMIC_ARRAY_s* set, Wrapper* path, bool intersect_first,
                                       Korvo::Cam::IPolySegIntxnFunctor* functor) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!psi || !functor || !path || path->count == 0 || !path->first_nodes || !path->first_nodes[0]) return;
    if (intersect_first) intersect_path_with_set(psi, path, set);
    // The ray from the path's start, its crossings from the farthest to the
    // nearest.
    PSI_INTXN_NODE_s* first = path->first_nodes[0];
    PSI_wn_functor_s wn;
    winding_at_path_start(psi, first, set, true, &wn);
    PSI__ray_sort_ray_intxn(psi, wn.count, wn.side, first->pnt.x);
    for (int i = wn.count - 1; i >= 0; --i)
        if (functor->OnIntersection(nullptr, PSI_ray_entry_crossing(psi, i)->segment, nullptr)) return;
    // The crossings along the path.
    const std::unordered_set<const RING_node_s*> own = segments_of(path);
    for (const PathStep& s : path_steps(psi, path)) {
        bool stop = false;
        level_change(psi, s, own, [&](const Arm& a) {
            if (!stop) stop = functor->OnIntersection(s.in_seg, arm_segment(a), s.in.node);
        });
        if (stop) return;
    }
}

// ---------------------------------------------------------------------------
// Simple gouge check and spikes
// ---------------------------------------------------------------------------

void PSI__set_hide_spikes(void* object, Wrapper* w) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!psi || !w || w->count == 0) return;
    bool has_dummy = false;
    for (int i = 0; i < w->count && !has_dummy; ++i) has_dummy = (seg_piece(w->segs[i])->flags & FLAG_DUMMY) != 0;
    if (!has_dummy) return;
    PSI__ixn_intersect_2_poly(psi, w, w, nullptr);
    if (w->pending) PSI__ixn_sort_intersects(psi, w);
    const long bound = walk_bound(psi);
    for (int i = 0; i < w->count; ++i) {
        RING_node_s* dummy = w->segs[i];
        if (!(seg_piece(dummy)->flags & FLAG_DUMMY)) continue;
        PSI_INTXN_NODE_s* s = w->first_nodes[i];
        if (!s) continue;
        const int jd = seg_index(s, dummy);
        if (jd < 0) continue;
        const int jp = 1 - jd;
        RING_node_s* prev = s->segs[jp];
        // A spike: the dummy leaves its start exactly the way the segment
        // before it came in.
        if (!prev || !s->pn_along[jp] || !s->pn_along[2 + jd]) continue;
        if (PSI__compare_arms(psi, s, jp, s, 2 + jd) != 0) continue;
        // Walk back along the segment before and forward along the dummy as
        // long as both reach the same points, blanking both sub-segments.
        PSI_INTXN_NODE_s* a = s;  // on prev
        PSI_INTXN_NODE_s* b = s;  // on the dummy
        int ja = jp, jb = jd;
        for (long guard = 0; guard <= bound; ++guard) {
            PSI_INTXN_NODE_s* na = a->pn_along[ja];
            PSI_INTXN_NODE_s* nb = b->pn_along[2 + jb];
            if (!na || !nb || !same_point(na->pnt, nb->pnt)) break;
            const int jna = seg_index(na, prev);
            const int jnb = seg_index(nb, dummy);
            if (jna < 0 || jnb < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
            PSI_blank_subsegment(a, ja, 2 + jna, nullptr);
            PSI_blank_subsegment(nb, jnb, 2 + jb, nullptr);
            a = na;
            b = nb;
            ja = jna;
            jb = jnb;
        }
    }
}

RING_node_s* PSI__set_simple_gouge_check(void* object, RING_header_s* set, PSI_gouge_filter_t filter, void* data,
                                         PNT2_s* point) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    // 1. At least a path and one obstacle.
    if (!psi || !set || set->count < 2) return nullptr;
    PSI__reset(psi);
    PSI__fit_nodes_to_input(psi, PSI__count_pieces(set, 1));
    std::vector<RING_header_s*> polys;
    RING_node_s* n = set->first;
    for (int i = 0; n && i < set->count; ++i, n = n->next) {
        polys.push_back(RING_ask_node_subring(n));
        if (n == set->last) break;
    }
    if (polys.size() < 2) return nullptr;
    Wrapper* wrappers = CMEM_NEW_ARRAY(psi->pool, Wrapper, polys.size());
    // 2. The path, blanked; each obstacle, its spikes hidden, intersected with
    // the path.
    Wrapper* path = &wrappers[0];
    RING_node_s* result = nullptr;
    bool empty = !polys[0];
    if (!empty) {
        CERR_raise_on_abort();
        PSI__wrap_poly(psi, polys[0], path);
        empty = path->count == 0;
    }
    size_t wrapped = empty ? 0 : 1;
    if (!empty) {
        PSI__ixn_init_poly_intxn_nodes(psi, path);
        PSI__visit_wrapped_poly_intxn(path, PSI_blank_subsegment, nullptr);
        for (size_t i = 1; i < polys.size(); ++i, ++wrapped) {
            Wrapper* w = &wrappers[i];
            CERR_raise_on_abort();
            PSI__wrap_poly(psi, polys[i], w);
            if (w->count == 0) continue;
            PSI__ixn_init_poly_intxn_nodes(psi, w);
            PSI__set_hide_spikes(psi, w);
            PSI__ixn_intersect_2_poly(psi, path, w, nullptr);
            if (w->pending) PSI__ixn_sort_intersects(psi, w);
        }
    }
    // 3. Without crossings nothing gouges.
    if (!empty && path->pending) {
        PSI__ixn_sort_intersects(psi, path);
        // 4. Around each node of the path: a counted sub-segment leaving the
        // node lowers the count, one arriving raises it; a minimum below 0
        // and below the final count is a sector with more material than the
        // path's own.
        const long bound = walk_bound(psi);
        std::vector<Arm> places;
        PSI_INTXN_NODE_s* start = path->first_nodes[0];
        const int j0 = seg_index(start, path->segs[0]);
        places.push_back(start->pn_along[j0] ? Arm{start, j0} : Arm{start, 2 + j0});
        for (const PathStep& s : path_steps(psi, path)) places.push_back(s.in);
        for (const Arm& at : places) {
            int count = 0, minimum = 0;
            RING_node_s* last = nullptr;
            Arm r = at;
            long guard = 0;
            do {
                RING_node_s* seg = arm_segment(r);
                if (seg && !arm_blanked(r) && (!filter || filter(seg, data))) {
                    count += is_forward(r.arm) ? -1 : 1;
                    if (count < minimum) minimum = count;
                    last = seg;
                }
                r = next_around(r);
                if (++guard > bound) ERROR_internal(kFile, __LINE__, "PSI: cycle around a point does not close");
            } while (r != at);
            if (minimum < 0 && minimum < count) {
                if (point) *point = at.node->pnt;
                result = last;
                break;
            }
        }
    }
    if (!psi->keep_wrappers)
        for (size_t i = 0; i < wrapped; ++i) PSI__unwrap_poly(&wrappers[i]);
    return result;
}

// ---------------------------------------------------------------------------
// Intersection loops of one poly
// ---------------------------------------------------------------------------

namespace {

// The sub-segment of a forward arm, named by its end node and index there.
Arm forward_subsegment(const Arm& a) {
    PSI_INTXN_NODE_s* e = a.node->pn_along[a.arm];
    return Arm{e, e ? seg_index(e, a.node->segs[a.arm & 1]) : -1};
}

class LoopSplitter {
public:
    LoopSplitter(const PSI_s* psi, RING_header_s* loops) : m_loops(loops), m_bound(walk_bound(psi)) {}

    void run(PSI_INTXN_NODE_s* node, int arm) {
        m_stack.push_back(Arm{node, arm});
        long pops = 0;
        while (!m_stack.empty()) {
            if (++pops > m_bound) ERROR_internal(kFile, __LINE__, "PSI: loop split does not end");
            const Arm item = m_stack.back();
            m_stack.pop_back();
            Arm r = item;
            long guard = 0;
            do {
                if (is_forward(r.arm) && r.node->pn_along[r.arm]) {
                    const Arm sub = forward_subsegment(r);
                    if (sub.arm < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
                    const uint16_t f = sub.node->flags[sub.arm];
                    if (!(f & PSI_NODE_FLAG_ARRIVE_BLANK) && !(f & PSI_NODE_FLAG_OP_1)) trace(r);
                }
                r = next_around(r);
                if (++guard > m_bound) ERROR_internal(kFile, __LINE__, "PSI: cycle around a point does not close");
            } while (r != item);
        }
    }

private:
    void record(POLY_INTXN_s* loop, bool closed) {
        loop->closed = closed ? 1 : 0;
        for (int i = 0; i < POLY_INTXN_count(loop); ++i) {
            const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
            e->node->flags[e->arm & 1] |= PSI_NODE_FLAG_OP_TAKEN;
        }
        RING_insert_after(m_loops, m_loops->last, loop);
    }

    // Traces one loop along the segments' direction from the forward arm.
    void trace(Arm leave) {
        POLY_INTXN_s* loop = POLY_INTXN_create(m_loops->pool);
        if (!loop) ERROR_internal(kFile, __LINE__, "PSI: cannot create an intersection loop");
        for (long step = 0;; ++step) {
            if (step > m_bound) ERROR_internal(kFile, __LINE__, "PSI: loop trace does not end");
            // 1. The sub-segment taken, marked visited.
            const Arm sub = forward_subsegment(leave);
            if (sub.arm < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
            POLY_INTXN_append(loop, sub.node, sub.arm);
            sub.node->flags[sub.arm] |= PSI_NODE_FLAG_OP_1;
            // 2. The next arm at its end.
            const Arm in = sub;  // backward arm pointing along the sub-segment just taken
            Arm chosen{nullptr, 0};
            bool touching = false;
            Arm remembered{nullptr, -1};
            int others = 0;
            Arm only{nullptr, 0};
            for (Arm r = next_around(in); r != in; r = next_around(r)) {
                if (++others > m_bound) ERROR_internal(kFile, __LINE__, "PSI: cycle around a point does not close");
                only = r;
            }
            if (others == 1 && is_forward(only.arm)) {
                chosen = only;
            } else {
                int counter = 0;
                for (Arm r = next_around(in); r != in; r = next_around(r)) {
                    if (!is_forward(r.arm)) {
                        if (r.node->flags[r.arm] & PSI_NODE_FLAG_ARRIVE_BLANK) continue;
                        ++counter;
                        if (r.node->flags[r.arm] & PSI_NODE_FLAG_OP_1) touching = true;
                    } else {
                        if (r.node->flags[r.arm & 1] & PSI_NODE_FLAG_LEAVE_BLANK) continue;
                        if (!chosen.node) {
                            if (counter == 0)
                                chosen = r;
                            else
                                --counter;
                        }
                        const Arm rs = forward_subsegment(r);
                        if (rs.node && rs.arm >= 0 && (rs.node->flags[rs.arm] & PSI_NODE_FLAG_OP_1)) {
                            touching = true;
                            if (!(rs.node->flags[rs.arm] & PSI_NODE_FLAG_OP_TAKEN)) remembered = rs;
                        }
                    }
                }
                // 3. Touching the loop being traced closes a loop there.
                if (touching && remembered.node) {
                    int at = -1;
                    for (int i = POLY_INTXN_count(loop) - 1; i >= 0 && at < 0; --i) {
                        const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
                        if (e->node == remembered.node && e->arm == remembered.arm) at = i;
                    }
                    if (at == 0) {
                        record(loop, true);
                        return;
                    }
                    if (at > 0) {
                        POLY_INTXN_s* tail = POLY_INTXN_create(m_loops->pool);
                        if (!tail) ERROR_internal(kFile, __LINE__, "PSI: cannot create an intersection loop");
                        const int n = POLY_INTXN_count(loop);
                        for (int i = at; i < n; ++i) {
                            const POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, i);
                            POLY_INTXN_append(tail, e->node, e->arm);
                        }
                        record(tail, true);
                        DA_set_num_active(loop->entries, at);
                    }
                } else if (!touching) {
                    m_stack.push_back(in);
                }
            }
            // 4. On along the chosen arm, or the loop ends.
            if (!chosen.node) {
                record(loop, false);
                return;
            }
            const Arm next = forward_subsegment(chosen);
            if (next.arm < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
            if (next.node->flags[next.arm] & PSI_NODE_FLAG_OP_1) {
                record(loop, !(next.node->flags[next.arm] & PSI_NODE_FLAG_OP_TAKEN));
                return;
            }
            leave = chosen;
        }
    }

    RING_header_s* m_loops;
    long m_bound;
    std::vector<Arm> m_stack;
};

}  // namespace

void PSI__set_split_poly_into_loops(void* object, PSI_INTXN_NODE_s* node, int arm, RING_header_s* loops) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!psi || !node || !loops) return;
    LoopSplitter(psi, loops).run(node, arm);
}

POLY_INTXN_s* PSI__set_longest_loop_of_poly(void* object, RING_header_s* poly) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!psi || !poly) return nullptr;
    PSI__reset(psi);
    PSI__fit_nodes_to_input(psi, poly->count);
    Wrapper* w = PSI__wrap_init_poly(psi, poly);
    POLY_INTXN_s* best = nullptr;
    if (w->count > 0) {
        CERR_raise_on_abort();
        PSI__ixn_intersect_2_poly(psi, w, w, nullptr);
        if (w->pending) {
            PSI__ixn_sort_intersects(psi, w);
            RING_header_s* loops = POLY_INTXN_create_ring_of(psi->pool);
            PSI_INTXN_NODE_s* start = w->first_nodes[0];
            PSI__set_split_poly_into_loops(psi, start, 2 + seg_index(start, w->segs[0]), loops);
            // The longest loop; ties keep the first.
            RING_node_s* keep = nullptr;
            double longest = -1.0;
            RING_node_s* n = loops->first;
            for (int i = 0; n && i < loops->count; ++i, n = n->next) {
                const double length = POLY_INTXN_length(static_cast<POLY_INTXN_s*>(n->main_data));
                if (length > longest) {
                    longest = length;
                    keep = n;
                }
                if (n == loops->last) break;
            }
            if (keep) {
                best = static_cast<POLY_INTXN_s*>(keep->main_data);
                keep->main_data = nullptr;
            }
            RING_delete(loops);
        }
    }
    if (!psi->keep_wrappers) PSI__unwrap_poly(w);
    return best;
}

// ---------------------------------------------------------------------------
// Dummy covers
// ---------------------------------------------------------------------------

namespace {

double round_unit(double v) { return std::floor(v + 0.5); }

PNT2_s round_point(double x, double y) { return PNT2_s{round_unit(x), round_unit(y)}; }

// Cover line of a dummy when its cover is not an arc: the chord moved along
// its unit normal.
void chord_cover(const PNT2_s& start, const PNT2_s& end, bool left, PNT2_s* cover_start, PNT2_s* cover_end) {
    const double dx = end.x - start.x, dy = end.y - start.y;
    const double len = std::sqrt(dx * dx + dy * dy);
    double nx = 0.0, ny = 0.0;
    if (len > 0) {
        nx = -dy / len;
        ny = dx / len;
        if (!left) {
            nx = -nx;
            ny = -ny;
        }
    }
    *cover_start = round_point(start.x + kCoverDistance * nx, start.y + kCoverDistance * ny);
    *cover_end = round_point(end.x + kCoverDistance * nx, end.y + kCoverDistance * ny);
}

}  // namespace

bool PSI__set_dummy_cover_piece(const PNT2_s* start, const LINE_ARC_SEG_s* dummy, bool left, PNT2_s* cover_start,
                                LINE_ARC_SEG_s* cover) {
    const PNT2_s end{dummy->x, dummy->y};
    // A line record ends after its flag word: only the common fields are read.
    cover->x = dummy->x;
    cover->y = dummy->y;
    cover->h = dummy->h;
    cover->flags = 0;
    cover->cx = cover->cy = 0.0;
    if (LINE_ARC_SEG_is_arc(dummy)) {
        PNT2_s c;
        double r = 0;
        LINE_ARC_SEG_calc_arc_data(dummy, start, &c, &r, nullptr);
        // A counter-clockwise arc has its centre on its left: a cover to the
        // left moves it toward the centre (the radius shrinks and must exceed
        // the distance), to the right away from it.
        const bool ccw = dummy->h >= 0;
        const bool shrink = left == ccw;
        const bool roomy = shrink ? r > kCoverDistance : r > kCoverMinArcGrowRadius;
        if (roomy && r > 0) {
            const double moved = shrink ? r - kCoverDistance : r + kCoverDistance;
            const double f = moved / r;
            const PNT2_s s2 = round_point(c.x + (start->x - c.x) * f, c.y + (start->y - c.y) * f);
            const PNT2_s e2 = round_point(c.x + (end.x - c.x) * f, c.y + (end.y - c.y) * f);
            const double cdx = e2.x - s2.x, cdy = e2.y - s2.y;
            const double odx = end.x - start->x, ody = end.y - start->y;
            const double rs = std::hypot(s2.x - c.x, s2.y - c.y);
            const double re = std::hypot(e2.x - c.x, e2.y - c.y);
            const double radius = rs > re ? rs : re;
            if (cdx * odx + cdy * ody > 0 && cdx * cdx + cdy * cdy >= kCoverMinChordSquared &&
                radius >= kCoverMinRadius) {
                cover->x = e2.x;
                cover->y = e2.y;
                cover->h = LINE_ARC_SEG_calc_arc_alpha(&s2, &e2, radius, ccw ? 1 : 0, nullptr);
                LINE_ARC_SEG_set_centre(cover, &s2);
                LINE_ARC_SEG_reround_arc(&s2, cover);
                *cover_start = s2;
                return LINE_ARC_SEG_is_arc(cover);
            }
        }
    }
    PNT2_s e2;
    chord_cover(*start, end, left, cover_start, &e2);
    cover->x = e2.x;
    cover->y = e2.y;
    cover->h = LINE_ARC_SEG_LINE_H;
    cover->cx = cover->cy = 0.0;
    return false;
}

namespace {

// Appends a line or a copy of the piece to the cover poly, hands it to the
// object's segment-data callback and gives it the dummy's weight.
RING_node_s* append_cover_piece(PSI_s* psi, RING_header_s* poly, RING_node_s* dummy, const PNT2_s& start,
                                const LINE_ARC_SEG_s* piece, uint32_t flags, int weight) {
    RING_node_s* node = nullptr;
    const PNT2_s end{piece->x, piece->y};
    if (same_point(start, end)) return nullptr;
    if (LINE_ARC_SEG_is_arc(piece)) {
        LINE_ARC_SEG_s* copy = LINE_ARC_SEG_copy(piece, poly->pool);
        node = RING_insert_after(poly, poly->last, copy);
    } else {
        node = POLY_SEG_append_line(poly, &end);
    }
    if (!node) ERROR_internal(kFile, __LINE__, "PSI: cannot append a cover segment");
    seg_piece(node)->flags = flags;
    if (psi->create_data) {
        bool handled = true;
        psi->create_data(poly, dummy, node, &handled, nullptr);
    }
    if (weight != 1) POLY_SEG_set_seg_thickness(poly, node, weight);
    return node;
}

void append_cover_line(PSI_s* psi, RING_header_s* poly, RING_node_s* dummy, const PNT2_s& start, const PNT2_s& end,
                       uint32_t flags, int weight) {
    LINE_ARC_SEG_s line{};
    line.x = end.x;
    line.y = end.y;
    line.h = LINE_ARC_SEG_LINE_H;
    append_cover_piece(psi, poly, dummy, start, &line, flags, weight);
}

PNT2_s to_grid(const INT_GRID_MAP_s* map, const Korvo::Math::Point2& p) {
    int gx = 0, gy = 0;
    INT_GRID_MAP__put_2d_to_grid(map, p.x, p.y, &gx, &gy);
    return PNT2_s{static_cast<double>(gx), static_cast<double>(gy)};
}

// Where the line from a through b meets the line from c through d (whole
// grid coordinates); false when they are parallel.  The determinant is
// formed in 128-bit integers, so the parallel test is exact.
bool meet_lines(const PNT2_s& a, const PNT2_s& b, const PNT2_s& c, const PNT2_s& d, PNT2_s* out) {
    const long long ux = static_cast<long long>(b.x - a.x), uy = static_cast<long long>(b.y - a.y);
    const long long vx = static_cast<long long>(d.x - c.x), vy = static_cast<long long>(d.y - c.y);
    const WIDE_INT_s den = WIDE_INT_sub(WIDE_INT_mul64(ux, vy), WIDE_INT_mul64(uy, vx));
    if (WIDE_INT_sign(den) == 0) return false;
    const long long wx = static_cast<long long>(c.x - a.x), wy = static_cast<long long>(c.y - a.y);
    const WIDE_INT_s num = WIDE_INT_sub(WIDE_INT_mul64(wx, vy), WIDE_INT_mul64(wy, vx));
    const double t = WIDE_INT_to_double(num) / WIDE_INT_to_double(den);
    *out = round_point(a.x + t * static_cast<double>(ux), a.y + t * static_cast<double>(uy));
    return true;
}

}  // namespace

RING_header_s* PSI__set_build_dummy_covers(void* object, RING_header_s* dummy_ring, bool cover_side,
                                           PSI_dummy_eval_cb_t eval, const INT_GRID_MAP_s* map) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!psi || !dummy_ring || !dummy_ring->first) return nullptr;
    RING_header_s* covers = nullptr;
    const long bound = walk_bound(psi);
    RING_node_s* rn = dummy_ring->first;
    for (int i = 0; rn && i < dummy_ring->count; ++i, rn = rn->next) {
        const PSI_set_dummy_record_s* rec = static_cast<const PSI_set_dummy_record_s*>(rn->main_data);
        if (rn == dummy_ring->last) i = dummy_ring->count;  // last one: stop after it
        if (!rec || !rec->node || rec->side < 0 || rec->side > 1) continue;
        PSI_INTXN_NODE_s* at = rec->node;
        RING_node_s* dummy = at->segs[rec->side];
        if (!dummy || (at->flags[rec->side] & PSI_NODE_FLAG_ARRIVE_BLANK)) continue;
        const LINE_ARC_SEG_s* piece = seg_piece(dummy);
        if (piece->flags & FLAG_NOT_COVERED) continue;
        // Hide every sub-segment of the dummy: back to its start node, then
        // forward to its end.
        PSI_INTXN_NODE_s* n = at;
        int j = rec->side;
        for (long guard = 0; n->pn_along[j]; ++guard) {
            if (guard > bound) ERROR_internal(kFile, __LINE__, "PSI: node list of a segment does not end");
            n = n->pn_along[j];
            j = seg_index(n, dummy);
            if (j < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
        }
        for (long guard = 0; n->pn_along[2 + j]; ++guard) {
            if (guard > bound) ERROR_internal(kFile, __LINE__, "PSI: node list of a segment does not end");
            PSI_INTXN_NODE_s* m = n->pn_along[2 + j];
            const int k = seg_index(m, dummy);
            if (k < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
            PSI_blank_subsegment(m, k, 2 + j, nullptr);
            n = m;
            j = k;
        }
        const int weight = PSI__set_segment_weight(dummy);
        const PNT2_s start = seg_start(dummy);
        const PNT2_s end = seg_end(dummy);
        if (!covers) covers = POLY_SEG_create_set(dummy_ring->pool, Korvo::Cam::NoMaterialAtInfinity);
        RING_header_s* poly = POLY_SEG_create(dummy_ring->pool);
        POLY_SEG_append_line(poly, &start);  // the open poly's start point
        // 1. Toward the dummy's source points, when the callback gives them
        // on the cover side.
        bool done = false;
        if (eval && map) {
            Korvo::Math::Point2 a, b;
            double distance = 0.0, side = 0.0;
            bool flag = false;
            if (eval(dummy, &a, &b, &distance, &flag, &side) && (cover_side ? side < 0 : side >= 0)) {
                PNT2_s p = to_grid(map, a);
                if (distance != 0.0) {
                    const PNT2_s q = to_grid(map, b);
                    PNT2_s meet;
                    if (meet_lines(start, p, q, end, &meet))
                        p = meet;
                    else
                        p = round_point((p.x + q.x) / 2, (p.y + q.y) / 2);
                }
                if (same_point(p, start)) p = end;
                if (same_point(p, end)) {
                    append_cover_line(psi, poly, dummy, start, end, FLAG_DUMMY, weight);
                } else {
                    append_cover_line(psi, poly, dummy, start, p, FLAG_DUMMY | FLAG_COVER_TO_POINT, weight);
                    append_cover_line(psi, poly, dummy, p, end, FLAG_DUMMY | FLAG_COVER_TO_END, weight);
                }
                done = true;
            }
        }
        // 2. Otherwise the dummy moved to its cover side.
        if (!done) {
            bool left = !cover_side;
            if (piece->flags & FLAG_COVER_LEFT)
                left = true;
            else if (piece->flags & FLAG_COVER_RIGHT)
                left = false;
            PNT2_s cs;
            LINE_ARC_SEG_s moved{};
            PSI__set_dummy_cover_piece(&start, piece, left, &cs, &moved);
            const PNT2_s ce{moved.x, moved.y};
            append_cover_line(psi, poly, dummy, start, cs, FLAG_COVER_TO_POINT, weight);
            append_cover_piece(psi, poly, dummy, cs, &moved, 0, weight);
            append_cover_line(psi, poly, dummy, ce, end, FLAG_COVER_TO_END, weight);
        }
        POLY_SEG_append_to_set(covers, poly);
    }
    return covers;
}

RING_header_s* PSI__set_cover_dummies(void* object, DYNAMIC_ARRAY_s** wrapped, int count, RING_header_s* dummy_ring,
                                      bool cover_side, PSI_dummy_eval_cb_t eval) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!psi || !wrapped || count < 1 || !wrapped[0]) return nullptr;
    // The sets share one grid: the map of any wrapped poly.
    const INT_GRID_MAP_s* map = nullptr;
    if (eval)
        for (int s = 0; s < count && !map; ++s)
            for (int i = 0; i < wrapper_count(wrapped[s]) && !map; ++i)
                map = POLY_SEG_ask_header(wrapper_at(wrapped[s], i)->poly)->scaling;
    RING_header_s* covers = PSI__set_build_dummy_covers(psi, dummy_ring, cover_side, eval, map);
    // The extraction marks go, so that the boundaries can be extracted anew.
    PSI__set_clear_node_marks(
        psi, static_cast<uint16_t>(~(PSI_NODE_FLAG_OP_1 | PSI_NODE_FLAG_OP_TAKEN | 0x0008 | PSI_SET_MARKS)));
    if (covers) {
        RING_node_s* n = covers->first;
        for (int c = 0; n && c < covers->count; ++c, n = n->next) {
            RING_header_s* poly = RING_ask_node_subring(n);
            DYNAMIC_ARRAY_s* first = wrapped[0];
            const int before = first->num_active;
            if (Wrapper* w = PSI__wrap_poly_into(psi, first, poly)) {
                PSI__ixn_init_poly_intxn_nodes(psi, w);
                for (int i = 0; i < before; ++i) {
                    CERR_raise_on_abort();
                    PSI__ixn_intersect_2_poly(psi, w, wrapper_at(first, i), nullptr);
                }
                for (int s = 1; s < count; ++s)
                    for (int i = 0; i < wrapper_count(wrapped[s]); ++i) {
                        CERR_raise_on_abort();
                        PSI__ixn_intersect_2_poly(psi, w, wrapper_at(wrapped[s], i), nullptr);
                    }
            }
            if (n == covers->last) break;
        }
    }
    for (int s = 0; s < count; ++s)
        for (int i = 0; i < wrapper_count(wrapped[s]); ++i) PSI__ixn_sort_intersects(psi, wrapper_at(wrapped[s], i));
    return covers;
}

void PSI__set_cover_paths(void* object, DYNAMIC_ARRAY_s** wrapped, int count, int offset, PSI_set_output_s* output,
                          RING_header_s* dummy_ring, RING_header_s* second_ring, bool cover_side,
                          PSI_dummy_eval_cb_t eval) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!psi || !output) return;
    auto reset = [&]() {
        PSI__set_reset_output(output);
        if (output->kind == PSI_SET_OUTPUT_ZONES) PSI__set_clear_zone_info(psi);
    };
    reset();
    PSI__set_cover_dummies(psi, wrapped, count, dummy_ring, cover_side, eval);
    bool again = false;
    PSI__set_extract_final_boundaries(psi, wrapped, count, offset, output, second_ring, false, &again);
    if (again) {
        reset();
        PSI__set_cover_dummies(psi, wrapped, count, second_ring, cover_side, eval);
        PSI__set_extract_final_boundaries(psi, wrapped, count, offset, output, nullptr, true, nullptr);
    }
    if (output->mode == PSI_SET_OUTPUT_POLYS) {
        RING_delete_all_nodes(dummy_ring);
        RING_delete_all_nodes(second_ring);
    }
}
