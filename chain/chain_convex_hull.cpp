// Convex hulls of chains: arcs cut into lines within a tolerance, the host's
// point hull, arcs fitted again to the hull.  Shortest paths around a chain:
// its corners classified, then the straight line, the chain itself or a
// gift-wrapped hull of its vertices cut down to the stretch between its ends.
#include <merrow1/chain_convex_hull.h>

#include "chain/chain_each.h"
#include "chain/chain_record.h"
#include "internal/tolerances.h"
#include "internal/vec2.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_fit.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_set.h>
#include <merrow1/segment.h>
#include <stend/system.h>
#include <tavish/hull.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace {

const double kDefaultTolerance = 1e-5;
// The re-fit of the hull's arcs takes arcs of radius between these.
const double kHullArcMaxRadius = 10000.0;
const double kHullArcMinRadius = 0.0001;
using merrow1::kCloseGap;

using merrow1::is_closed;
using merrow1::main_of;
using merrow1::point_of;

// The vertices that end an arc: from the second vertex on, and on a closed
// chain also the first, whose segment is the closing one (a closing arc left
// out would cut its bulge off the hull).
std::vector<RING_node_s*> arc_vertices(const RING_header_s* chain) {
    std::vector<RING_node_s*> arcs;
    const bool closed = is_closed(chain);
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next)
        if ((i > 0 || closed) && CHAIN_seg_ask_type(node) == SEG_ARC) arcs.push_back(node);
    return arcs;
}

// Cuts every arc of the chain into lines whose vertices lie on the arc, each
// piece turning through at most 2 acos(r / (r + t)), so the chords stay
// within t of the arc.  The sweep is the arc's true sweep in its own sense.
// Each new vertex, the arc's own vertex and the vertex before them name the
// arc's vertex node under the approximated-arc key.  True when the chain had
// an arc.
bool approximate_arcs(RING_header_s* chain, double t) {
    bool had_arc = false;
    // The arcs are listed before any cut: a cut inserts vertices but moves none.
    const std::vector<RING_node_s*> arcs = arc_vertices(chain);
    for (RING_node_s* arc : arcs) {
        had_arc = true;
        SEGMENT segment;
        if (ChainSegment(chain, arc, &segment) != 1 || segment.type != SEG_ARC) continue;
        const double sweep = SEGMENT_arc_sweep(&segment);
        const double r = segment.end->radius;
        const double x = std::min(1.0, r / (r + t));
        const double theta = 2.0 * std::acos(x);
        if (!(theta > 0.0) || !std::isfinite(sweep)) continue;
        const double pieces = std::max(2.0, std::trunc(sweep / theta + 1.0));
        RING_node_s* before = arc->previous;
        CHAIN_split_backward_segment(chain, arc, static_cast<int>(std::min(pieces, 1e7)));
        RING_put_node_app_data(chain, before, CHAIN_APP_DATA_APPROXIMATED_ARC, arc);
        RING_node_s* piece = before->next;
        for (int k = 0; k < chain->count && piece; ++k, piece = piece->next) {
            CHAIN_seg_set_type(piece, SEG_LINE);
            RING_put_node_app_data(chain, piece, CHAIN_APP_DATA_APPROXIMATED_ARC, arc);
            if (piece == arc) break;
        }
    }
    if (had_arc) CHAIN_refresh_cached_box(chain);
    return had_arc;
}

// Frees host memory on every path.
struct SmBlock {
    void* block = nullptr;
    SmBlock() = default;
    SmBlock(const SmBlock&) = delete;
    SmBlock& operator=(const SmBlock&) = delete;
    ~SmBlock() {
        if (block) SM_free(block);
    }
};

// Deletes the scratch copies on every path.
struct Copies {
    std::vector<RING_header_s*> chains;
    Copies() = default;
    Copies(const Copies&) = delete;
    Copies& operator=(const Copies&) = delete;
    ~Copies() {
        for (RING_header_s* chain : chains) RING_delete(chain);
    }
};

}  // namespace

RING_header_s* CHAIN_create_one_convex_hull(CMEM_pool_s* pool, RING_header_s* chain_or_list,
                                            const double* tolerance) {
    const double t = tolerance ? *tolerance : kDefaultTolerance;
    if (!pool || !chain_or_list || !std::isfinite(t) || t < 0.0) return nullptr;

    // 1-2. The inputs, arc chains replaced by approximated copies; closed only
    //      when every input is closed.
    std::vector<RING_header_s*> inputs;
    Copies copies;
    bool all_closed = true, any_arc = false;
    bool failed = false;
    merrow1::for_each_chain(chain_or_list, [&](RING_header_s* chain) {
        if (failed) return;
        all_closed = all_closed && is_closed(chain);
        if (arc_vertices(chain).empty()) {
            inputs.push_back(chain);
            return;
        }
        RING_header_s* copy = CHAIN_copy(chain, pool, nullptr);
        if (!copy) {
            failed = true;
            return;
        }
        copies.chains.push_back(copy);
        any_arc = approximate_arcs(copy, t) || any_arc;
        inputs.push_back(copy);
    });
    if (failed || inputs.empty()) return nullptr;

    // 3. All vertex end points, in list and vertex order.
    long count = 0;
    for (const RING_header_s* chain : inputs) count += chain->count;
    if (count <= 0 || count > 0x7fffffff / 2) return nullptr;
    SmBlock points, indices;
    points.block = SM_alloc(static_cast<size_t>(count) * 2 * sizeof(double));
    if (!points.block) return nullptr;
    auto* xy = static_cast<double*>(points.block);
    long n = 0;
    for (const RING_header_s* chain : inputs) {
        const RING_node_s* node = chain->first;
        for (int i = 0; i < chain->count && node; ++i, node = node->next) {
            xy[2 * n] = point_of(node)[0];
            xy[2 * n + 1] = point_of(node)[1];
            ++n;
        }
    }
    int* order = nullptr;
    const int h = HULL2D_find_hull(xy, static_cast<int>(n), &order);
    indices.block = order;
    if (h <= 0 || !order) return nullptr;

    // 4. The hull chain with the first input's properties.
    RING_header_s* hull = CHAIN_create_from_chain(inputs.front(), pool);
    if (!hull) return nullptr;
    for (int i = 0; i < h; ++i) {
        const int k = order[i];
        if (k < 0 || k >= n) continue;
        const end_segment end = {xy[2 * k], xy[2 * k + 1], 0.0, 0.0, 0.0, 0};
        ChainAppendVertex(hull, &end, hull->first ? SEG_LINE : SEG_POINT);
    }
    if (any_arc) CHAIN_fit_vertices_to_arc(hull, nullptr, t, t, kHullArcMaxRadius, kHullArcMinRadius, 6, true, true);
    if (all_closed) CHAIN_close(hull, kCloseGap);
    if (!hull->first || !hull->last) {
        RING_delete(hull);
        return nullptr;
    }
    return hull;
}

RING_header_s* CHAIN_create_convex_hulls_from_shapes(CMEM_pool_s* pool, RING_header_s* chain_or_list,
                                                     const double* tolerance) {
    if (!pool || !chain_or_list) return nullptr;
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    if (!list) return nullptr;
    merrow1::for_each_chain(chain_or_list, [&](RING_header_s* chain) {
        if (RING_header_s* hull = CHAIN_create_one_convex_hull(pool, chain, tolerance))
            CHAIN_add_chain_to_list(list, hull);
    });
    return list;
}

// ---------------------------------------------------------------------------
// Shortest paths

namespace {

const double kPathCloseGap = 1e-8;     // closing gap of a wrapped path without a tolerance
const double kSamePoint2 = 1e-16;      // squared distance of points taken as one
const double kDirection2 = 6.25e-16;   // squared length a new reference direction needs
const double kAngleTie = 1e-10;        // angles (and cosines at 0 and pi) this close are equal
const double kTopTie = 1e-8;           // heights this close are equal when the start is chosen
using merrow1::kPi;

double squared_distance(const double* a, const double* b) {
    const double dx = a[0] - b[0], dy = a[1] - b[1];
    return dx * dx + dy * dy;
}

bool every_vertex_has_a_point(const RING_header_s* chain) {
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count; ++i, node = node->next) {
        const auto* record = node ? static_cast<const CHAIN_vertex_data_s*>(node->main_data) : nullptr;
        if (!record || !record->geometry) return false;
    }
    return true;
}

// The node of the chain whose point lies at p (squared distance 1e-16),
// searched from `from` over at most `steps` links; null when none does.
RING_node_s* node_at(RING_node_s* from, int steps, const double* p) {
    RING_node_s* node = from;
    for (int i = 0; i < steps && node; ++i, node = node->next)
        if (squared_distance(point_of(node), p) <= kSamePoint2) return node;
    return nullptr;
}

void restart_closed(RING_header_s* chain, RING_node_s* node) {
    chain->first = node;
    chain->last = node->previous;
}

// What the path stamps on the working chain: every vertex's corner type under
// key 164 and, on a closed chain, another start vertex.  The destructor (on
// every exit) removes and frees every key-164 record and puts the original
// start back, so the caller's chain ends as it came.
class CornerStamp {
public:
    explicit CornerStamp(RING_header_s* chain) : m_chain(chain), m_first(chain->first), m_last(chain->last) {}
    CornerStamp(const CornerStamp&) = delete;
    CornerStamp& operator=(const CornerStamp&) = delete;
    ~CornerStamp() {
        m_chain->first = m_first;
        m_chain->last = m_last;
        RING_node_s* node = m_chain->first;
        for (int i = 0; i < m_chain->count && node; ++i, node = node->next) {
            void* record = APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_CORNER_TYPE);
            if (!record) continue;
            RING_delete_app_data_of_node(m_chain, node, CHAIN_APP_DATA_CORNER_TYPE);
            CMEM_private_delete_object(record);
        }
    }

    // Stamps the corner type of every vertex (ChainCornerType).
    void stamp() {
        RING_node_s* node = m_chain->first;
        for (int i = 0; i < m_chain->count && node; ++i, node = node->next) {
            int* record = CMEM_NEW(m_chain->pool, int);
            if (!record) continue;
            *record = ChainCornerType(m_chain, node);
            RING_put_node_app_data(m_chain, node, CHAIN_APP_DATA_CORNER_TYPE, record);
        }
    }

    static int type_of(const RING_node_s* node) {
        const int* record = static_cast<const int*>(APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_CORNER_TYPE));
        return record ? *record : CORNER_TYPE_NONE;
    }

private:
    RING_header_s* m_chain;
    RING_node_s* m_first;
    RING_node_s* m_last;
};

// The corner class of the stamped chain: 3 when it has both corners that
// wrap (concave or none) and convex corners, 1 when it has the first kind
// only, 2 for convex corners only, 0 for smooth corners between the two ends
// of an open chain, 1 otherwise (a closed chain of smooth corners).
int corner_class(const RING_header_s* chain) {
    bool wrap = false, convex = false, start = false, end = false;
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        const int type = CornerStamp::type_of(node);
        wrap = wrap || type == CORNER_TYPE_CONCAVE || type == CORNER_TYPE_NONE;
        convex = convex || type == CORNER_TYPE_CONVEX;
        start = start || type == CORNER_TYPE_START;
        end = end || type == CORNER_TYPE_END;
    }
    if (wrap) return convex ? 3 : 1;
    if (convex) return 2;
    return start && end ? 0 : 1;
}

// A closed chain that runs CCW with material RIGHT, or CW with material LEFT,
// is reversed.
void reverse_against_material(RING_header_s* chain) {
    const CHAIN_main_data_s* data = main_of(chain);
    if ((data->direction == CCW && data->material_side == RIGHT) ||
        (data->direction == CW && data->material_side == LEFT))
        CHAIN_reverse(chain);
}

// The output vertex stands for the working-chain vertex: it gets the
// source's approximated-arc datum and the callback is told, except for the
// start vertex of an open working chain.
void carry_source(RING_header_s* working, bool closed, RING_node_s* source, RING_header_s* out, RING_node_s* vertex,
                  CHAIN_vertex_source_callback_t callback) {
    if (!vertex || (!closed && source == working->first)) return;
    if (void* arc = APP_DATA__ask_app_data(source->app_data, CHAIN_APP_DATA_APPROXIMATED_ARC))
        RING_put_node_app_data(out, vertex, CHAIN_APP_DATA_APPROXIMATED_ARC, arc);
    if (callback) callback(source, source, working, vertex, out);
}

// The result's own copy of the working chain's header data, made as a chain
// copy keeps records: keys with a registered delete function stay with their
// chain, the cached box is left out (it describes the other chain), the
// closed-with-key mark (owned, 16 bytes) is duplicated and other data is
// referenced.  A key the result already has keeps the result's datum.
void copy_header_app_data(const RING_header_s* from, RING_header_s* to) {
    for (const APP_DATA_s* entry = from->app_data; entry; entry = entry->next) {
        if (entry->key == CHAIN_BOX_APP_DATA_KEY || APP_DATA__ask_app_data(to->app_data, entry->key)) continue;
        bool registered = false;
        RING_ask_key_delete_func(from, entry->key, &registered);
        if (registered) continue;
        void* datum = entry->data;
        if (entry->key == CHAIN_APP_DATA_CLOSED_WITH_KEY) {
            datum = CMEM_ALLOC(to->pool, 1, 16);
            if (!datum) continue;
            std::memcpy(datum, entry->data, 16);
        }
        if (!APP_DATA__add_data(&to->app_data, datum, entry->key, to->pool) && datum != entry->data)
            CMEM_private_delete_object(datum);
    }
}

// The open working chain's stretch of the closed wrap: from the wrap's first
// vertex (at the chain's start) through the first vertex at the chain's end,
// copied into a new chain whose first vertex is a SEG_POINT.
// Null when the end is not met or fewer than 2 vertices result.
RING_header_s* open_stretch(const RING_header_s* wrap, const double* end_point) {
    RING_header_s* path = CHAIN_create_from_chain(wrap, wrap->pool);
    if (!path) return nullptr;
    merrow1::OwnedChain owned(path);
    const RING_node_s* node = wrap->first;
    bool reached = false;
    for (int i = 0; i <= wrap->count && node && !reached; ++i, node = node->next) {
        RING_node_s* fresh = RING_insert_after(path, path->last, nullptr);
        if (!fresh) return nullptr;
        if (!ChainVertexCopy(node, path, fresh)) return nullptr;
        ChainVertexAppCopy(node, path, fresh);
        if (i == 0)
            CHAIN_seg_set_type(fresh, SEG_POINT);
        else
            reached = squared_distance(point_of(node), end_point) <= kSamePoint2;
    }
    if (!reached || path->count < 2) return nullptr;
    return owned.release();
}

// Carries the sources to every vertex of the finished path: each vertex
// stands for the first wrapped working-chain vertex at its point.  Sources go
// on by point once the path is closed, reversed, restarted and cut, since a
// reversal moves points between nodes while node data stays.  Points are
// copied exactly, so they are looked up by value first; a point that closing
// moved is matched within the squared distance 1e-16.
void carry_sources(RING_header_s* working, bool closed, const std::vector<RING_node_s*>& wrapped,
                   RING_header_s* path, CHAIN_vertex_source_callback_t callback) {
    std::map<std::pair<double, double>, RING_node_s*> at;
    for (RING_node_s* source : wrapped) at.insert({{point_of(source)[0], point_of(source)[1]}, source});
    RING_node_s* vertex = path->first;
    for (int i = 0; i < path->count && vertex; ++i, vertex = vertex->next) {
        RING_node_s* source = nullptr;
        const auto found = at.find({point_of(vertex)[0], point_of(vertex)[1]});
        if (found != at.end()) {
            source = found->second;
        } else {
            for (RING_node_s* candidate : wrapped)
                if (squared_distance(point_of(candidate), point_of(vertex)) <= kSamePoint2) {
                    source = candidate;
                    break;
                }
        }
        if (source) carry_source(working, closed, source, path, vertex, callback);
    }
}

// Gift wrapping of the working chain's vertices.
//   1. Start at the highest vertex (a later one only when higher by more than
//      1e-8); a closed chain is restarted there.
//   2. From the current vertex P with reference direction d (first (1, 0),
//      then from the new vertex back to the one before), every other vertex
//      Q not at P's point is measured by the angle between d and Q - P; the
//      first of the greatest angle (greater by more than 1e-10) is the next
//      hull vertex.  Every other point lies within that angle, so the walk
//      goes round the hull counter-clockwise, at most n^2 measurements in
//      all; it ends back at the start point or the result is null.
//   3. An open chain's ends must both be wrap vertices.  The wrap is closed
//      with the gap t, oriented, reversed against its material and started
//      at the chain's start; an open chain keeps the stretch to its end.
//   4. The sources are carried to the result's vertices.
RING_header_s* wrap(RING_header_s* working, bool closed, double t, CHAIN_vertex_source_callback_t callback) {
    const long n = working->count;
    RING_node_s* top = working->first;
    RING_node_s* node = working->first->next;
    for (long i = 1; i < n && node; ++i, node = node->next)
        if (point_of(node)[1] > point_of(top)[1] + kTopTie) top = node;
    if (closed) restart_closed(working, top);

    RING_header_s* out = CHAIN_create_from_chain(working, working->pool);
    if (!out) return nullptr;
    merrow1::OwnedChain owned(out);
    std::vector<RING_node_s*> wrapped = {top};
    const end_segment start = {point_of(top)[0], point_of(top)[1], 0.0, 0.0, 0.0, 0};
    if (!ChainAppendVertex(out, &start, SEG_POINT)) return nullptr;

    double d[2] = {1.0, 0.0};
    RING_node_s* p = top;
    long budget = n * n;
    bool back = false;
    while (!back && budget >= n - 1) {
        RING_node_s* best = nullptr;
        double best_angle = 0.0;
        RING_node_s* q = working->first;
        for (long i = 0; i < n && q; ++i, q = q->next) {
            if (q == p) continue;
            --budget;
            const double v[2] = {point_of(q)[0] - point_of(p)[0], point_of(q)[1] - point_of(p)[1]};
            const double v2 = v[0] * v[0] + v[1] * v[1];
            if (v2 <= kSamePoint2) continue;  // at P: no direction to measure
            const double c = (d[0] * v[0] + d[1] * v[1]) / std::sqrt((d[0] * d[0] + d[1] * d[1]) * v2);
            const double angle = c >= 1.0 - kAngleTie ? 0.0 : c <= -1.0 + kAngleTie ? kPi : std::acos(c);
            if (!best || angle > best_angle + kAngleTie) {
                best = q;
                best_angle = angle;
            }
        }
        if (!best) break;
        const end_segment end = {point_of(best)[0], point_of(best)[1], 0.0, 0.0, 0.0, 0};
        if (ChainAppendVertex(out, &end, SEG_LINE)) wrapped.push_back(best);
        const double back_direction[2] = {point_of(p)[0] - point_of(best)[0], point_of(p)[1] - point_of(best)[1]};
        if (back_direction[0] * back_direction[0] + back_direction[1] * back_direction[1] > kDirection2) {
            d[0] = back_direction[0];
            d[1] = back_direction[1];
        }
        p = best;
        back = out->count > 1 && squared_distance(point_of(out->last), point_of(out->first)) <= kSamePoint2;
    }
    if (!back || out->count < 2) return nullptr;

    const double* chain_start = point_of(working->first);
    const double* chain_end = point_of(working->last);
    if (!closed && (!node_at(out->first, out->count, chain_start) || !node_at(out->first, out->count, chain_end)))
        return nullptr;
    CHAIN_close(out, t);
    if (!out->first || out->last->next != out->first) return nullptr;
    main_of(out)->direction = CHAIN_direction_of_chain(out);
    reverse_against_material(out);
    RING_node_s* first = node_at(out->first, out->count, chain_start);
    if (!first) return nullptr;
    restart_closed(out, first);
    RING_header_s* path = closed ? owned.release() : open_stretch(out, chain_end);
    if (path) carry_sources(working, closed, wrapped, path, callback);
    return path;
}

}  // namespace

RING_header_s* CHAIN_create_shortest_path(RING_header_s* chain, const double* tolerance,
                                          CHAIN_vertex_source_callback_t callback) {
    // 1. A chain of at least two vertices that is not already one line.
    if (!chain || chain->type != RING_TYPE_CHAIN || !chain->first || !chain->last || chain->count < 2 ||
        !chain->main_data || !every_vertex_has_a_point(chain))
        return nullptr;
    if (tolerance && !(std::isfinite(*tolerance) && *tolerance >= 0.0)) return nullptr;
    if (chain->count == 2 && CHAIN_seg_ask_type(chain->last) == SEG_LINE) return nullptr;

    // 2. The working chain: an approximated copy with a tolerance, else the
    //    chain itself.
    RING_header_s* working = chain;
    merrow1::OwnedChain working_copy(nullptr);
    if (tolerance) {
        working = CHAIN_copy(chain, chain->pool, callback);
        if (!working) return nullptr;
        working_copy.reset(working);
        approximate_arcs(working, *tolerance);
    }
    RING_header_s* result = nullptr;
    bool refers_to_working = false;
    {
        // 3. Corner types and the class; a closed chain starts at its first
        //    convex corner, else at its first smooth one.
        CornerStamp stamp(working);
        stamp.stamp();
        const bool closed = is_closed(working);
        if (closed) {
            RING_node_s* convex = nullptr;
            RING_node_s* smooth = nullptr;
            RING_node_s* node = working->first;
            for (int i = 0; i < working->count && node; ++i, node = node->next) {
                const int type = CornerStamp::type_of(node);
                if (!convex && type == CORNER_TYPE_CONVEX) convex = node;
                if (!smooth && type == CORNER_TYPE_SMOOTH) smooth = node;
            }
            if (RING_node_s* start = convex ? convex : smooth) restart_closed(working, start);
        }
        const int path_class = corner_class(working);

        if (path_class == 1 && closed) {
            // 4. The closed chain is its own path, oriented against its material.
            merrow1::OwnedChain copy(CHAIN_copy(working, working->pool, callback));
            if (copy.get() && copy.get()->count >= 2) {
                main_of(copy.get())->direction = CHAIN_direction_of_chain(copy.get());
                reverse_against_material(copy.get());
                result = copy.release();
                refers_to_working = true;
            }
        } else if ((path_class == 1 || path_class == 0) && !closed) {
            // 4. An open chain whose corners all turn one way, or are smooth:
            //    the straight line between its ends.
            const CHAIN_main_data_s* data = main_of(working);
            const Korvo::Math::Point2 from = {point_of(working->first)[0], point_of(working->first)[1]};
            const Korvo::Math::Point2 to = {point_of(working->last)[0], point_of(working->last)[1]};
            if (RING_header_s* line = CHAIN_create_line_chain(&data->csys, &from, &to, working->pool)) {
                CHAIN_main_data_s* line_data = main_of(line);
                line_data->approximation_tolerance = data->approximation_tolerance_set ? data->approximation_tolerance : 0.0;
                line_data->approximation_tolerance_set = 1;
                result = line;
            }
        } else if (path_class == 3) {
            // 5. Corners both ways: the wrap.
            result = wrap(working, closed, tolerance ? *tolerance : kPathCloseGap, callback);
            refers_to_working = result != nullptr;
        }
        // 6. Classes 0 (closed) and 2: no path.  7. The stamp goes.
    }
    if (!result) return nullptr;
    copy_header_app_data(working, result);
    // An approximated copy stays in the pool while the result's sources name
    // its vertices.
    if (refers_to_working) working_copy.release();
    return result;
}
