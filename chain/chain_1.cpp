// Points and parts of chains, vertex copies and approximation.
#include <merrow1/chain_part.h>
#include <merrow1/app_data_keys.h>

#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>
#include <merrow1/segment.h>
#include "chain/chain_readings.h"
#include <internal/check.h>
#include <pellam/mchn.h>
#include <pellam/mchn_builders.h>

#include "chain/chain_part_nodes.h"
#include "chain/chain_record.h"
#include "internal/tolerances.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Squared distance under which two places are one point.
const double kSamePointSquared = 1e-16;
// Fractions within this of 0 or 1 snap to the segment's ends.
const double kFractionSnap = 1e-8;
// Slack of parameter comparisons.
const double kParameterSlack = 1e-10;
// A part starting at a vertex begins on the next segment: the index of that
// segment is the floor of the start parameter plus this, a shade over one so
// that a parameter a little below a whole number still counts as the vertex.
const double kNextSegmentStep = 1.00000001;

using merrow1::arc_of;
using merrow1::is_closed;
using merrow1::point_of;
using merrow1::vertex_record;

double squared_distance(const double a[2], const double b[2]) {
    const double dx = a[0] - b[0], dy = a[1] - b[1];
    return dx * dx + dy * dy;
}

bool at_point(const RING_node_s* node, const double point[2]) {
    const double* p = point_of(node);
    return p && squared_distance(p, point) <= kSamePointSquared;
}

// Sets a shared (not owned) datum under the key, replacing what is there.
void put_shared(APP_DATA_s** list, APP_DATA_key_t key, void* datum, CMEM_pool_s* pool) {
    for (APP_DATA_s* entry = *list; entry; entry = entry->next)
        if (entry->key == key) {
            entry->data = datum;
            return;
        }
    APP_DATA__add_data(list, datum, key, pool);
}

// Puts an owned copy of `size` bytes of `datum` under the key: an existing
// record of the destination is overwritten in place (it is owned by the
// destination already), else a new one is made in the pool.
void put_owned_copy(APP_DATA_s** list, APP_DATA_key_t key, const void* datum, size_t size, CMEM_pool_s* pool) {
    if (void* existing = APP_DATA__ask_app_data(*list, key)) {
        std::memmove(existing, datum, size);
        return;
    }
    void* copy = CMEM_ALLOC(pool, 1, size);
    if (!copy) return;
    std::memcpy(copy, datum, size);
    if (!APP_DATA__add_data(list, copy, key, pool)) CMEM_private_delete_object(copy);
}

// The part read back from its two records, in a form that does not depend on
// whether CreatePartOfChain has already been applied to a record shared with
// another part (a start whose node was already moved on, an end or start
// already raised by the vertex count).
struct PartView {
    RING_header_s* chain = nullptr;
    int count = 0;
    double start_parameter = 0.0;
    double end_parameter = 0.0;
    const double* start_point = nullptr;
    const double* end_point = nullptr;
    bool start_inside = false;
    RING_node_s* start_node = nullptr;  // the node whose segment the part begins on
    RING_node_s* end_node = nullptr;    // the node whose segment holds the end
    int first_index = 0;                // running index of the start node's segment
    int last_index = 0;                 // running index of the end node's segment
};

}  // namespace

RING_node_s* merrow1::part_start_node(const POINT_ON_CHAIN_s* start) {
    if (start->inside) return start->node;
    if (!start->node) return nullptr;
    // Still at its own vertex: the part begins on the following segment.
    if (at_point(start->node, start->point)) return start->node->next;
    // Already moved on by CreatePartOfChain.
    return start->node;
}

RING_node_s* merrow1::part_end_node(const POINT_ON_CHAIN_s* end) {
    if (end->inside || !end->node) return end->node;
    if (at_point(end->node, end->point)) return end->node;
    // A record shared as the start of another part may have been moved on.
    if (end->node->previous && at_point(end->node->previous, end->point)) return end->node->previous;
    return end->node;
}

namespace {

using merrow1::part_end_node;
using merrow1::part_start_node;

// Running index of the segment that holds an inside place with the given
// parameter (the place's own, or raised by the vertex count).  The segment is
// the one the place's node ends, so the index must not be pushed on by a
// vertex slack: an inside place may lie a hair's fraction before its
// segment's end.  A parameter that came out whole lost its fraction to
// rounding (k - 1 + t with t next to 0 or 1); the end of the node's segment
// the point lies nearer tells which.
int inside_segment_index(const POINT_ON_CHAIN_s* place, double parameter) {
    const double whole = std::floor(parameter);
    const int index = static_cast<int>(whole) + 1;
    if (parameter != whole || !place->node || !place->node->previous) return index;
    const double* end = point_of(place->node);
    const double* start = point_of(place->node->previous);
    if (end && start && squared_distance(place->point, end) < squared_distance(place->point, start)) return index - 1;
    return index;
}

bool read_part(const PART_OF_CHAIN_s* part, PartView* view) {
    if (!part || !part->start || !part->end) return false;
    const POINT_ON_CHAIN_s* start = part->start;
    const POINT_ON_CHAIN_s* end = part->end;
    if (!start->chain || start->chain != end->chain || !start->chain->first) return false;
    view->chain = start->chain;
    view->count = start->chain->count;
    view->start_parameter = start->parameter;
    view->end_parameter = end->parameter;
    if (view->end_parameter < view->start_parameter - kParameterSlack) {
        if (!is_closed(view->chain)) return false;
        view->end_parameter += view->count;
    }
    view->start_point = start->point;
    view->end_point = end->point;
    view->start_inside = start->inside != 0;
    view->start_node = part_start_node(start);
    view->end_node = part_end_node(end);
    if (!view->start_node || !view->end_node) return false;
    // Segment k holds parameters (k - 1, k]; a start at vertex k begins on
    // segment k + 1, an inside start on its own node's segment.
    view->first_index = start->inside ? inside_segment_index(start, view->start_parameter)
                                      : static_cast<int>(std::floor(view->start_parameter + kNextSegmentStep));
    view->last_index = end->inside ? inside_segment_index(end, view->end_parameter)
                                   : static_cast<int>(std::floor(view->end_parameter + 0.5));
    return true;
}

// A segment of the part cut at the given points (either may be null: keep the
// segment's own end), built in caller-owned buffers.
struct CutSegment {
    double start[2];
    end_segment end;
    SEGMENT segment;
};

void cut_segment(const SEGMENT& whole, const double* from, const double* to, CutSegment* cut) {
    const double* s = from ? from : whole.start;
    cut->start[0] = s[0];
    cut->start[1] = s[1];
    if (whole.type == SEG_ARC) {
        cut->end = *whole.end;
    } else {
        cut->end = end_segment{};
        cut->end.x = whole.end->x;
        cut->end.y = whole.end->y;
    }
    if (to) {
        cut->end.x = to[0];
        cut->end.y = to[1];
    }
    cut->segment.start = cut->start;
    cut->segment.end = &cut->end;
    cut->segment.app_data = whole.app_data;
    cut->segment.type = whole.type;
    // A cut down to one point has no length and no direction.
    if (whole.type != SEG_POINT && squared_distance(cut->start, &cut->end.x) <= kSamePointSquared)
        cut->segment.type = SEG_POINT;
}

// Chain parameter index 1..count of a running index that may have gone round
// a closed chain.
int wrapped_index(int index, int count) { return count > 0 ? ((index - 1) % count + count) % count + 1 : index; }

// Visits the segments of the part, each cut at the part's ends:
// fn(cut segment, node, running index).  False when a segment cannot be read.
template <class Fn>
bool for_each_part_segment(const PartView& view, Fn fn) {
    if (view.first_index > view.last_index) return true;  // an empty part
    RING_node_s* node = view.start_node;
    for (int index = view.first_index; index <= view.last_index; ++index) {
        if (index == view.last_index) node = view.end_node;
        if (!node) return false;
        SEGMENT whole;
        if (!ChainSegment(view.chain, node, &whole)) return false;
        const double* from = index == view.first_index ? view.start_point : nullptr;
        const double* to = index == view.last_index ? view.end_point : nullptr;
        CutSegment cut;
        cut_segment(whole, from, to, &cut);
        fn(cut.segment, node, index);
        node = node->next;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Places

int PointOnChainCreate1(RING_header_s* chain, RING_node_s* node, int k, double t, const double point[2],
                        POINT_ON_CHAIN_s* out) {
    if (!out || !node || !point) return 0;
    out->chain = chain;
    out->node = node;
    const double* vertex = point_of(node);
    // 1. The start of an open chain.
    if (!is_closed(chain) && chain && node == chain->first) {
        const double* p = vertex ? vertex : point;
        out->point[0] = p[0];
        out->point[1] = p[1];
        out->parameter = 0.0;
        out->inside = 0;
        return 1;
    }
    // 2. At the segment's start: the previous vertex.
    RING_node_s* previous = node->previous;
    const double* start = point_of(previous);
    if (start && (t <= 0.0 || (std::fabs(t) <= kFractionSnap && squared_distance(point, start) <= kSamePointSquared))) {
        out->node = previous;
        out->point[0] = start[0];
        out->point[1] = start[1];
        out->parameter = k - 1;
        out->inside = 0;
        return 1;
    }
    // 3. At the segment's end: the node's own vertex.
    if (vertex &&
        (t >= 1.0 || (std::fabs(t - 1.0) <= kFractionSnap && squared_distance(point, vertex) <= kSamePointSquared))) {
        out->point[0] = vertex[0];
        out->point[1] = vertex[1];
        out->parameter = (is_closed(chain) && k == chain->count) ? 0.0 : k;
        out->inside = 0;
        return 1;
    }
    // 4. Strictly inside.
    out->point[0] = point[0];
    out->point[1] = point[1];
    out->parameter = k - 1 + t;
    out->inside = 1;
    return 1;
}

int PointOnChainCreate(RING_header_s* chain, RING_node_s* node, int k, const double point[2],
                       POINT_ON_CHAIN_s* out) {
    if (!chain || !node || !point || !out || !chain->first) return 0;
    if (!is_closed(chain) && node == chain->first) {
        out->point[0] = point[0];
        out->point[1] = point[1];
        out->parameter = 0.0;
        out->chain = chain;
        out->node = node;
        out->inside = 0;
        return 1;
    }
    if (k == 0) {
        // Segment k ends at the k-th node after the first.
        RING_node_s* walk = chain->first->next;
        for (int i = 1; i <= chain->count && walk; ++i, walk = walk->next)
            if (walk == node) {
                k = i;
                break;
            }
        if (k == 0) return 0;
    }
    SEGMENT segment;
    if (!ChainSegment(chain, node, &segment)) return 0;
    return PointOnChainCreate1(chain, node, k, SegmentPointParameter(&segment, point), point, out);
}

bool PointOnChainEq(const POINT_ON_CHAIN_s* a, const POINT_ON_CHAIN_s* b) {
    if (!a || !b) return false;
    return a->node == b->node && squared_distance(a->point, b->point) <= kSamePointSquared &&
           std::fabs(a->parameter - b->parameter) <= POINT_ON_CHAIN_PARAMETER_SLACK;
}

void PointOnChainSnapToVertex(POINT_ON_CHAIN_s* place, double tol) {
    if (!place || !place->inside || !place->node) return;
    const double whole = std::floor(place->parameter);
    const bool up = place->parameter - whole > 0.5;  // an exact half rounds down
    RING_node_s* candidate = up ? place->node : place->node->previous;
    const double* p = point_of(candidate);
    if (!p || std::sqrt(squared_distance(p, place->point)) > tol) return;
    place->point[0] = p[0];
    place->point[1] = p[1];
    place->node = candidate;
    place->inside = 0;
    // On a closed chain the start point is 0.0, not the segment count.
    place->parameter = (is_closed(place->chain) && candidate == place->chain->first) ? 0.0 : whole + (up ? 1 : 0);
}

// ---------------------------------------------------------------------------
// Parts

int CreatePartOfChain(PART_OF_CHAIN_s* out, POINT_ON_CHAIN_s* start, POINT_ON_CHAIN_s* end) {
    if (!out || !start || !end || start->chain != end->chain) return 0;
    // Only the records given are read and written: the records `out` pointed
    // at before may belong to other parts.
    out->start = start;
    out->end = end;
    RING_header_s* chain = start->chain;
    if (end->parameter < start->parameter - kParameterSlack) {
        if (!is_closed(chain)) return 0;
        end->parameter += chain->count;
    }
    if (!start->inside) {
        // A start still at its own vertex moves on to the node whose segment
        // the part begins on.  A record that already moved on (it is shared
        // with a part made before) is left as it is, so making a part twice
        // does not move it twice.
        RING_node_s* next = part_start_node(start);
        if (!next) return 0;
        start->node = next;
    }
    return 1;
}

double CHAIN_length_of_part_of_chain(const PART_OF_CHAIN_s* part) {
    PartView view;
    if (!read_part(part, &view)) return 0.0;
    double length = 0.0;
    const bool read = for_each_part_segment(view, [&](const SEGMENT& segment, RING_node_s*, int) {
        length += SEGMENT_swept_length(&segment);
    });
    return read ? length : 0.0;
}

int PartOfChainToChain(const PART_OF_CHAIN_s* part, RING_header_s* out) {
    if (!part || !part->start || !part->end || !out || part->start->chain != part->end->chain) return 0;
    const RING_header_s* source = part->start->chain;
    CHAIN_main_data_s* target_data = static_cast<CHAIN_main_data_s*>(out->main_data);
    if (source && source->main_data && target_data) {
        *target_data = *static_cast<const CHAIN_main_data_s*>(source->main_data);
        target_data->direction = 0;
    }
    end_segment start{};
    start.x = part->start->point[0];
    start.y = part->start->point[1];
    ChainAppendVertex(out, &start, SEG_POINT);
    PartView view;
    if (!read_part(part, &view) || view.first_index > view.last_index) return 1;
    RING_node_s* node = view.start_node;
    for (int index = view.first_index; index <= view.last_index && node; ++index) {
        if (index == view.last_index) node = view.end_node;
        RING_node_s* copy = RING_insert_after(out, out->last, nullptr);
        if (!copy) break;
        if (!ChainVertexCopy(node, out, copy)) {
            RING_delete_node(out, copy);
            break;
        }
        ChainVertexAppCopy(node, out, copy);
        if (index == view.last_index) {
            double* point = vertex_record(copy)->geometry;
            point[0] = view.end_point[0];
            point[1] = view.end_point[1];
        }
        node = node->next;
    }
    CHAIN_drop_cached_box(out);
    return 1;
}

namespace {

// Nearest (largest) distance from the point to the part's segments.
double part_point_distance(const PART_OF_CHAIN_s* part, const double point[2], POINT_ON_CHAIN_s* place,
                           bool largest) {
    double best = largest ? 0.0 : 1e7;
    PartView view;
    if (!point || !read_part(part, &view)) return best;
    for_each_part_segment(view, [&](const SEGMENT& segment, RING_node_s* node, int index) {
        double at[2];
        const double d = largest ? SegmentPointMaxDist(&segment, point, at) : SegmentPointMinDist(&segment, point, at);
        if (largest ? d > best : d < best) {
            best = d;
            if (place) PointOnChainCreate(view.chain, node, wrapped_index(index, view.count), at, place);
        }
    });
    return best;
}

}  // namespace

double PartOfChainPointMinDis(const PART_OF_CHAIN_s* part, const double point[2], POINT_ON_CHAIN_s* nearest) {
    return part_point_distance(part, point, nearest, false);
}

double PartOfChainPointMaxDis(const PART_OF_CHAIN_s* part, const double point[2], POINT_ON_CHAIN_s* farthest) {
    return part_point_distance(part, point, farthest, true);
}

bool ChainGetParamPoint(const RING_header_s* chain, double parameter, Korvo::Math::Point2* out) {
    if (!chain || !chain->first || !out) return false;
    const int count = chain->count;
    const int segments = count < 2 ? 0 : (is_closed(chain) ? count : count - 1);
    if (!(parameter >= 0.0) || parameter > segments) return false;
    const int whole = static_cast<int>(std::floor(parameter));
    const double fraction = parameter - whole;
    const RING_node_s* node = chain->first;
    for (int i = 0; i < whole && node; ++i) node = node->next;
    if (!node) return false;
    const double* p = nullptr;
    if (fraction <= kParameterSlack) {
        p = point_of(node);
    } else if (fraction >= 1.0 - kParameterSlack) {
        p = point_of(node->next);
    } else {
        SEGMENT segment;
        double at[2];
        if (!ChainForwardSegment(chain, node, &segment) || !SegmentParamPoint(&segment, fraction, at)) return false;
        *out = {at[0], at[1]};
        return true;
    }
    if (!p) return false;
    *out = {p[0], p[1]};
    return true;
}

void ChainsDirection(const RING_header_s* list) {
    if (!list) return;
    auto set_direction = [](RING_header_s* chain) {
        if (CHAIN_main_data_s* data = merrow1::main_of(chain))
            data->direction = CHAIN_direction_of_chain(chain);
    };
    merrow1::for_each_chain(const_cast<RING_header_s*>(list), set_direction);
}

// ---------------------------------------------------------------------------
// Vertex application data

int ChainVertexAppCopy(const RING_node_s* from, const RING_header_s* to_chain, RING_node_s* to) {
    if (!from || !to || !to_chain) return 0;
    CMEM_pool_s* pool = to_chain->pool;
    const CHAIN_vertex_data_s* source = vertex_record(from);
    CHAIN_vertex_data_s* target = vertex_record(to);
    const unsigned int flags = source ? source->flags : 0u;

    // 1. The source description: the shared host segment record with the
    //    geometry type, or the description bits and source surface.
    if (void* record = APP_DATA__ask_app_data(from->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE)) {
        put_shared(&to->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE, record, pool);
        if (target)
            target->flags = (target->flags & ~CHAIN_VERTEX_GEOM_TYPE_MASK) | (flags & CHAIN_VERTEX_GEOM_TYPE_MASK);
    } else if (target) {
        const unsigned int description =
            CHAIN_VERTEX_SOURCE_SEG_TYPE_MASK | CHAIN_VERTEX_GEOM_TYPE_MASK | CHAIN_VERTEX_SOURCE_GEOM_TYPE_MASK;
        target->flags = (target->flags & ~description) | (flags & description) | CHAIN_VERTEX_INHERITED_SOURCE;
        target->source_surface = source ? source->source_surface : 0;
    }

    // 2. The source links are owned by their vertex: the destination gets its
    //    own copies.
    if (const void* link = APP_DATA__ask_app_data(from->app_data, APP_DATA_SOURCE_SEGMENT))
        put_owned_copy(&to->app_data, APP_DATA_SOURCE_SEGMENT, link, sizeof(CHAIN_source_segment_s), pool);
    if (const void* link = APP_DATA__ask_app_data(from->app_data, APP_DATA_SOURCE_VERTEX))
        put_owned_copy(&to->app_data, APP_DATA_SOURCE_VERTEX, link, sizeof(CHAIN_source_chain_source_vertex_s),
                       pool);

    // 3. Marks carried with the vertex (set, never cleared).
    const unsigned int marks = (1u << 11) | (1u << 23) | (1u << 25) | (1u << 26) | (1u << 28);
    if (target) target->flags |= flags & marks;

    // 4. Shared references.
    const APP_DATA_key_t referenced[] = {CHAIN_APP_DATA_COPY_REFERENCE_87, CHAIN_APP_DATA_COPY_REFERENCE_88,
                                         CHAIN_APP_DATA_SELF_NODE, CHAIN_APP_DATA_SHARED_237};
    for (APP_DATA_key_t key : referenced)
        if (void* datum = APP_DATA__ask_app_data(from->app_data, key)) put_shared(&to->app_data, key, datum, pool);

    // 5. The host interpolates the rest from the destination's neighbours.
    MCHN_interpolate_vertex_app_data(to->previous, to->next, to_chain, to);
    return 1;
}

void CHAIN_RemoveSegAppData(RING_node_s* vertex) {
    if (!vertex) return;
    APP_DATA__remove_app_data(&vertex->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE);
    APP_DATA__remove_app_data(&vertex->app_data, CHAIN_APP_DATA_SEGMENT_DATA);
    for (APP_DATA_key_t key : {APP_DATA_key_t(APP_DATA_SOURCE_VERTEX), APP_DATA_key_t(APP_DATA_SOURCE_SEGMENT),
                                APP_DATA_key_t(CHAIN_APP_DATA_TRACE_VERTEX)}) {
        void* datum = APP_DATA__ask_app_data(vertex->app_data, key);
        if (APP_DATA__remove_app_data(&vertex->app_data, key)) CMEM_private_delete_object(datum);
    }
    CHAIN_vertex_data_s* record = vertex_record(vertex);
    if (!record) return;
    record->flags &= ~(CHAIN_VERTEX_SOURCE_SEG_TYPE_MASK | CHAIN_VERTEX_GEOM_TYPE_MASK |
                       CHAIN_VERTEX_SOURCE_GEOM_TYPE_MASK);
    record->flags |= CHAIN_VERTEX_INHERITED_SOURCE;
    record->source_surface = 0;
    record->flags &= ~((1u << 11) | (1u << 13) | (1u << 16) | (1u << 25) | (1u << 26) | (1u << 27) | (1u << 28) |
                       (1u << 29));
}

// ---------------------------------------------------------------------------
// Approximation

namespace {

// The host's geometry-source record under key 74: two records describe the
// same source when their first four 32-bit words agree (the words after them
// point at the host's custom data).
const size_t kSourceRecordWords = 4 * sizeof(std::uint32_t);
// Flag bits 2-9: source segment type, geometry type and source geometry type.
const unsigned int kSourceDescriptionBits =
    CHAIN_VERTEX_SOURCE_SEG_TYPE_MASK | CHAIN_VERTEX_GEOM_TYPE_MASK | CHAIN_VERTEX_SOURCE_GEOM_TYPE_MASK;

using merrow1::main_of;

bool same_source_description(const RING_node_s* a, const RING_node_s* b) {
    const void* record_a = APP_DATA__ask_app_data(a->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE);
    const void* record_b = APP_DATA__ask_app_data(b->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE);
    if (record_a || record_b) return record_a && record_b && std::memcmp(record_a, record_b, kSourceRecordWords) == 0;
    return CHAIN_seg_ask_source_surface(a) == CHAIN_seg_ask_source_surface(b) &&
           CHAIN_seg_ask_geom_type(a) == CHAIN_seg_ask_geom_type(b) &&
           CHAIN_seg_ask_source_geom_type(a) == CHAIN_seg_ask_source_geom_type(b) &&
           CHAIN_seg_ask_source_type(a) == CHAIN_seg_ask_source_type(b);
}

bool material_inside(DIRECTION direction, SIDE side) {
    return (direction == CW && side == RIGHT) || (direction == CCW && side == LEFT);
}

// Removes every vertex of the output (records and owned data freed).
void empty_chain(RING_header_s* chain, const char* reason) {
    RING_delete_all_nodes(chain);
    CHAIN_drop_cached_box(chain);
    MERROW1_NOTE_FAILURE(reason);
}

// The line approximation of one chain into another.
class Approximation {
public:
    Approximation(RING_header_s* chain, double tol, RING_header_s* out)
        : m_chain(chain), m_out(out), m_tol(tol), m_length_tol(merrow1::length_tolerance_of(chain)) {
        // The vertices after the first, the first again last on a closed
        // chain (it ends the closing segment).
        const bool closed = is_closed(chain);
        const int count = closed ? chain->count : chain->count - 1;
        RING_node_s* node = chain->first->next;
        for (int i = 0; i < count && node; ++i, node = node->next) m_sequence.push_back(node);
    }

    // 1. The first vertex as a SEG_POINT.
    // 2. Each candidate either extends the line from the anchor, or the line
    //    ends at the vertex before it (which becomes the anchor and the
    //    candidate is tried again), or, following the anchor directly, it is
    //    kept unchanged and becomes the anchor.  The anchor moves forward at
    //    every retry, so the walk ends.
    void run() {
        add(m_chain->first, SEG_POINT, false);
        int anchor = -1;  // index into the sequence; -1 is the first vertex
        const int n = static_cast<int>(m_sequence.size());
        for (int c = 0; c < n;) {
            if (fits(anchor, c)) {
                if (c == n - 1) add(m_sequence[c], SEG_LINE, false);
                ++c;
            } else if (c - 1 != anchor) {
                add(m_sequence[c - 1], SEG_LINE, false);
                anchor = c - 1;
            } else {
                add(m_sequence[c], CHAIN_seg_ask_type(m_sequence[c]), true);
                anchor = c;
                ++c;
            }
        }
    }

private:
    RING_node_s* vertex(int index) const { return index < 0 ? m_chain->first : m_sequence[index]; }

    // Whether the line from the anchor to the candidate stands for every
    // vertex after the anchor up to the candidate.
    bool fits(int anchor, int candidate) const {
        const RING_node_s* end = m_sequence[candidate];
        if (CHAIN_seg_ask_type(end) == SEG_ARC) return false;
        const double* a = point_of(vertex(anchor));
        const double* b = point_of(end);
        if (!a || !b) return false;
        const double chord[2] = {b[0] - a[0], b[1] - a[1]};
        double span = 0.0, unit[2];
        if (!VEC2_unitize(chord, m_length_tol, &span, unit)) return false;
        const Korvo::Math::Vector2 normal = {unit[1], -unit[0]};
        const double line = a[0] * normal.x + a[1] * normal.y;
        for (int k = anchor + 1; k <= candidate; ++k) {
            const RING_node_s* w = m_sequence[k];
            const double* p = point_of(w);
            const double along = (p[0] - a[0]) * unit[0] + (p[1] - a[1]) * unit[1];
            if (along < -m_length_tol || along > span + m_length_tol) return false;
            SEGMENT segment;
            if (ChainSegment(m_chain, w, &segment) != 1) return false;
            double low = 0.0, high = 0.0;
            SegmentMinMax(&segment, &normal, &low, &high, nullptr, nullptr);
            if (low < line - m_tol || high > line + m_tol) return false;
            if (!same_source_description(w, end)) return false;
        }
        return true;
    }

    // Appends a vertex standing for `from`: at its point as the given type,
    // or with all its geometry when `whole`; it gets from's source
    // description and a key-17 link to it.
    void add(RING_node_s* from, SEGMENT_TYPE type, bool whole) {
        const CHAIN_vertex_data_s* source = vertex_record(from);
        if (!source || !source->geometry) return;
        end_segment end = {};
        if (whole && type == SEG_ARC)
            end = *arc_of(from);
        end.x = source->geometry[0];
        end.y = source->geometry[1];
        RING_node_s* added = ChainAddVertex(m_out, &end, type);
        if (!added) return;
        CHAIN_vertex_data_s* target = vertex_record(added);
        if (const auto* record =
                static_cast<const MCHN_segment_s*>(APP_DATA__ask_app_data(from->app_data, CHAIN_APP_DATA_SEGMENT_SOURCE))) {
            // The host makes the new vertex's own record; it takes the
            // source's description.
            if (MCHN_segment_s* copy = MCHN_create_segment_wo_custom(m_out, added)) {
                copy->kind = record->kind;
                copy->geom_type = record->geom_type;
                RING_put_node_app_data(m_out, added, CHAIN_APP_DATA_SEGMENT_SOURCE, copy);
            }
        } else if (target) {
            target->flags = (target->flags & ~kSourceDescriptionBits) | (source->flags & kSourceDescriptionBits) |
                            CHAIN_VERTEX_INHERITED_SOURCE;
            target->source_surface = source->source_surface;
        }
        CHAIN_assign_source_chain_source_vertex_pc_data(m_chain, from, false, m_out->pool, added);
    }

    RING_header_s* m_chain;
    RING_header_s* m_out;
    double m_tol;
    double m_length_tol;
    std::vector<RING_node_s*> m_sequence;
};

}  // namespace

int ChainApprox(RING_header_s* chain, double tol, RING_header_s* out) {
    MERROW1_REQUIRE(chain && out && chain != out, "DUE_TO_INVALID_INPUT", 0);
    // Every vertex point is approximated: a vertex without geometry (an
    // untyped vertex from a dump) refuses the chain.
    const RING_node_s* walk = chain->first;
    for (int i = 0; i < chain->count && walk; ++i, walk = walk->next) {
        const CHAIN_vertex_data_s* vertex = static_cast<const CHAIN_vertex_data_s*>(walk->main_data);
        MERROW1_REQUIRE(vertex && vertex->geometry, "DUE_TO_VERTEX_WITHOUT_GEOMETRY", 0);
    }
    CHAIN_debug_report(3, "ChainApprox: chain -- input", chain, nullptr);
    CHAIN_main_data_s* input = main_of(chain);
    CHAIN_main_data_s* output = main_of(out);
    if (input && output) {
        *output = *input;
        output->kind = APPROX_CHAIN;
        output->direction = 0;
    }
    RING_put_header_app_data(out, APP_DATA_STOCKED_FROM, chain);
    if (chain->first) {
        Approximation(chain, tol, out).run();
        CHAIN_drop_cached_box(out);
        // A closed output keeps the input's loop type: material inside or
        // outside, the input's taken from its computed direction (its stored
        // direction may be stale).
        if (is_closed(chain)) {
            CHAIN_close(out, merrow1::kCloseGap);
            if (out->count > 1 && input && output && input->kind != TRACE_CHAIN &&
                material_inside(CHAIN_direction_of_chain(chain), input->material_side) !=
                    material_inside(output->direction, output->material_side))
                empty_chain(out, "DUE_TO_APPROX_CHAIN_LOOP_TYPE_OPPOSITE_WITH_INPUT_CHAIN");
        }
        if (out->count > 0 && CHAIN_to_chain_has_intersections(out, out, nullptr))
            empty_chain(out, "DUE_TO_APPROXIMATION_CHAIN_HAS_SELF_INTERSECTIONS");
    }
    CHAIN_debug_report(3, "ChainApprox: chain -- output", out, nullptr);
    return out->count >= 2 ? 1 : 0;
}
