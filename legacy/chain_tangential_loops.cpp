// Trochoidal tool paths of the earlier builds: loop vertices spread along the
// embedded stretches of a path, tangential loops inserted at them, and nested
// tangential loops about one point.
#include <merrow1/legacy/chain_tangential_loops.h>

#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_merge.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>
#include <merrow1/segment.h>

#include "chain/chain_record.h"
#include "engines/chain_walk.h"
#include "internal/check.h"
#include "internal/tolerances.h"

#include <cmath>
#include <vector>

namespace {

const double kMinSpacing = 1e-8;
const double kMaxLoopVertices = 1e6;
const double kWholeTolerance = 1e-7;
// A chain without its own approximation tolerance (or one below the
// library's closing gap) closes at that gap; loops are appended to the chain
// at the same gap.
using merrow1::kCloseGap;
// Loops of a smaller radius are left out.
constexpr double kSmallestLoopRadius = 1e-6;

CHAIN_embedded_vertex_data_s* embedded_record(const RING_node_s* node) {
    return static_cast<CHAIN_embedded_vertex_data_s*>(
        APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_EMBEDDED_VERTEX));
}

CHAIN_embedded_state_s* embedded_state(const RING_node_s* node) {
    return static_cast<CHAIN_embedded_state_s*>(APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_EMBEDDED_STATE));
}

// Unlinks and frees the record of the key.
void free_record(RING_node_s* node, APP_DATA_key_t key) {
    void* record = APP_DATA__ask_app_data(node->app_data, key);
    if (!record) return;
    APP_DATA__remove_app_data(&node->app_data, key);
    CMEM_private_delete_object(record);
}

bool has_header_key(const RING_header_s* chain, APP_DATA_key_t key) {
    return APP_DATA__ask_app_data(chain->app_data, key) != nullptr;
}

using merrow1::is_closed;
using merrow1::main_of;
using merrow1::point_of;

double closing_tolerance(const RING_header_s* chain) {
    const CHAIN_main_data_s* data = main_of(chain);
    if (data && data->approximation_tolerance_set && data->approximation_tolerance >= kCloseGap)
        return data->approximation_tolerance;
    return kCloseGap;
}

using merrow1::segment_length;

// The chain's vertices in order; the walk is bounded by the node count.
std::vector<RING_node_s*> vertices_of(const RING_header_s* chain) {
    std::vector<RING_node_s*> out;
    RING_node_s* node = chain->first;
    for (int i = 0; node && i < chain->count; ++i) {
        out.push_back(node);
        node = node->next;
        if (node == chain->first) return out;
    }
    if (node) MERROW1_INFINITE_LOOP();
    return out;
}

// Makes the node the first of a closed chain.
void restart_at(RING_header_s* chain, RING_node_s* node) {
    chain->first = node;
    chain->last = node->previous;
}

// Fills the stretch from A to B (B may be A on a closed chain: the whole
// perimeter) with loop vertices at equal lengths.
void fill_stretch(RING_header_s* chain, RING_node_s* a, RING_node_s* b, double spacing,
                  void (*callback)(const RING_header_s*, RING_node_s*)) {
    // The stretch's length and inner vertices (bounded by the node count).
    double length = 0.0;
    std::vector<RING_node_s*> inner;
    RING_node_s* node = a;
    for (int i = 0;; ++i) {
        if (i > chain->count || !node->next) MERROW1_INFINITE_LOOP();
        node = node->next;
        length += segment_length(chain, node);
        if (node == b) break;
        inner.push_back(node);
    }
    if (std::fabs(length) < kWholeTolerance) {
        free_record(a, CHAIN_APP_DATA_EMBEDDED_VERTEX);
        free_record(b, CHAIN_APP_DATA_EMBEDDED_VERTEX);
        return;
    }
    // A quotient that is whole within the tolerance counts as that whole
    // number, whichever side of it rounding put the division.
    const double quotient = length / spacing;
    const double nearest = std::round(quotient);
    long n = std::fabs(quotient - nearest) <= kWholeTolerance ? static_cast<long>(nearest)
                                                               : static_cast<long>(quotient) + 1;
    if (n < 1) n = 1;
    for (RING_node_s* v : inner) {
        const CHAIN_embedded_vertex_data_s* record = embedded_record(v);
        if (record && record->type == CHAIN_EMBEDDED_LOOP_VERTEX) free_record(v, CHAIN_APP_DATA_EMBEDDED_VERTEX);
    }
    // Walk the segments from A; `done` is the length from A to the start of
    // the segment ending at `node`.
    node = a->next;
    double done = 0.0;
    const long bound = static_cast<long>(inner.size()) + n + 1;
    long steps = 0;
    for (long k = 1; k < n; ++k) {
        const double target = static_cast<double>(k) * length / static_cast<double>(n);
        double here = segment_length(chain, node);
        while (done + here < target && node != b) {
            if (++steps > bound) MERROW1_INFINITE_LOOP();
            done += here;
            node = node->next;
            here = segment_length(chain, node);
        }
        SEGMENT segment;
        if (!ChainSegment(chain, node, &segment)) continue;
        const double along = std::fmin(std::fmax(target - done, 0.0), here);
        double at[2];
        if (!SegmentDistanceFromStart(&segment, along, at)) continue;
        const Korvo::Math::Point2 point{at[0], at[1]};
        bool inserted = false;
        RING_node_s* vertex = CHAIN_insert_vertex(chain, node, &point, callback, &inserted);
        if (!vertex) continue;
        if (inserted) {
            CHAIN_copy_source_seg_app_data(chain, node, vertex);
            done += along;
        }
        if (!embedded_record(vertex)) CHAIN_add_embedded_vertex_data(vertex, CHAIN_EMBEDDED_LOOP_VERTEX, chain->pool);
    }
    if (a == b && !embedded_record(a)) CHAIN_add_embedded_vertex_data(a, CHAIN_EMBEDDED_LOOP_VERTEX, chain->pool);
}

// Deletes a vertex; the next vertex of an open chain's deleted start becomes
// the new start point.
void delete_vertex(RING_header_s* chain, RING_node_s* node) {
    if (!is_closed(chain) && node == chain->first && node->next) CHAIN_seg_set_type(node->next, SEG_POINT);
    RING_delete_node(chain, node);
}

// Keep marks and removal of the per-vertex embedded states.
void clean_up_embedded_states(RING_header_s* chain) {
    if (!has_header_key(chain, CHAIN_APP_DATA_EMBEDDED_MARKS)) return;
    const std::vector<RING_node_s*> vertices = vertices_of(chain);
    if (has_header_key(chain, CHAIN_APP_DATA_NARROW_EMBEDDED)) {
        for (RING_node_s* v : vertices)
            if (CHAIN_embedded_vertex_data_s* record = embedded_record(v)) record->keep = 1;
    } else {
        bool have_state = false;
        int state = 0;
        for (RING_node_s* v : vertices) {
            const CHAIN_embedded_state_s* st = embedded_state(v);
            if (!st) continue;
            if (!have_state) {
                have_state = true;
                state = st->embedded;
                continue;
            }
            if (st->embedded == state) continue;
            state = st->embedded;
            if (CHAIN_embedded_vertex_data_s* record = embedded_record(v)) record->keep = 1;
        }
    }
    bool deleted = false;
    for (RING_node_s* v : vertices) {
        const CHAIN_embedded_state_s* st = embedded_state(v);
        if (!st) continue;
        // Read the byte before the record goes.
        const bool removable = st->removable != 0;
        free_record(v, CHAIN_APP_DATA_EMBEDDED_STATE);
        if (removable && !embedded_record(v) && !APP_DATA__ask_app_data(v->app_data, CHAIN_APP_DATA_EMBEDDED_KEEP)) {
            delete_vertex(chain, v);
            deleted = true;
        }
    }
    if (deleted) CHAIN_drop_cached_box(chain);
}

// The loop placement at the vertex: the centre and n.  False when no tangent
// can be formed there.
bool loop_placement(const RING_header_s* chain, const RING_node_s* vertex, double radius, double centre[2],
                    double normal[2]) {
    SEGMENT segment;
    const bool first = vertex == chain->first;
    if (!(first ? ChainForwardSegment(chain, vertex, &segment) : ChainSegment(chain, vertex, &segment)))
        return false;
    const double* at = point_of(vertex);
    double tangent[2];
    if (!SegmentTangent(&segment, at, tangent)) return false;
    const CHAIN_main_data_s* data = main_of(chain);
    const bool right = data && data->material_side == RIGHT;
    normal[0] = right ? -tangent[1] : tangent[1];
    normal[1] = right ? tangent[0] : -tangent[0];
    centre[0] = at[0] + radius * normal[0];
    centre[1] = at[1] + radius * normal[1];
    return true;
}

// The loop at the vertex as an open chain in the pool (its first node the
// start point at the vertex), or null.
RING_header_s* make_loop(const RING_header_s* chain, const RING_node_s* vertex, double radius, CMEM_pool_s* pool,
                         double centre[2], double normal[2]) {
    if (!loop_placement(chain, vertex, radius, centre, normal)) return nullptr;
    const CHAIN_main_data_s* data = main_of(chain);
    const bool right = data && data->material_side == RIGHT;
    const Korvo::Math::Point2 c{centre[0], centre[1]};
    const Korvo::Math::Vector2 start{-normal[0], -normal[1]};
    RING_header_s* loop =
        CHAIN_create_circle_chain(data ? &data->csys : nullptr, radius, &c, &start, right ? CCW : CW, pool);
    if (loop) CHAIN_open(loop, nullptr);
    return loop;
}

// A spacing that is finite, above 1e-8, and asks for at most 1,000,000 loop
// vertices over the chain's whole length.
bool spacing_fits(const RING_header_s* chain, double spacing) {
    if (!chain || !std::isfinite(spacing) || !(spacing > kMinSpacing)) return false;
    double total = 0.0;
    for (RING_node_s* v : vertices_of(chain)) total += segment_length(chain, v);
    return std::isfinite(total) && total / spacing <= kMaxLoopVertices;
}

bool valid_radius(double radius) { return std::isfinite(radius) && radius > 0.0; }

// Closes the chain again on every exit when it was closed on entry.
class ReclosingGuard {
public:
    ReclosingGuard(RING_header_s* chain, bool closed) : m_chain(chain), m_closed(closed) {}
    ~ReclosingGuard() {
        if (m_closed && !is_closed(m_chain)) CHAIN_close(m_chain, closing_tolerance(m_chain));
    }
    ReclosingGuard(const ReclosingGuard&) = delete;
    ReclosingGuard& operator=(const ReclosingGuard&) = delete;

private:
    RING_header_s* m_chain;
    bool m_closed;
};

}  // namespace

CHAIN_embedded_vertex_data_s* CHAIN_add_embedded_vertex_data(RING_node_s* node, CHAIN_embedded_vertex_type_t type,
                                                             CMEM_pool_s* pool) {
    if (!node) return nullptr;
    free_record(node, CHAIN_APP_DATA_EMBEDDED_VERTEX);
    CHAIN_embedded_vertex_data_s* record = CMEM_NEW(pool, CHAIN_embedded_vertex_data_s);
    record->type = type;
    record->keep = 0;
    APP_DATA__add_data(&node->app_data, record, CHAIN_APP_DATA_EMBEDDED_VERTEX, pool);
    return record;
}

void CHAIN_evenly_distribute_embedded_vertices(RING_header_s* chain, double spacing,
                                               void (*callback)(const RING_header_s*, RING_node_s*)) {
    MERROW1_REQUIRE(spacing_fits(chain, spacing), "DUE_TO_INVALID_DATA", );
    std::vector<RING_node_s*> vertices = vertices_of(chain);
    if (vertices.empty()) return;
    CHAIN_debug_report(16, "chain before evenly distribute", chain, nullptr);

    RING_node_s* entry_first = chain->first;
    const bool closed = is_closed(chain);
    RING_node_s* first_start = nullptr;
    for (RING_node_s* v : vertices) {
        const CHAIN_embedded_vertex_data_s* record = embedded_record(v);
        if (record && record->type == CHAIN_EMBEDDED_STRETCH_START) {
            first_start = v;
            break;
        }
    }
    if (closed && !first_start) {
        fill_stretch(chain, chain->first, chain->first, spacing, callback);
    } else {
        if (closed && !has_header_key(chain, CHAIN_APP_DATA_FULLY_EMBEDDED)) {
            restart_at(chain, first_start);
            vertices = vertices_of(chain);
        }
        RING_node_s* open_start = nullptr;
        for (RING_node_s* v : vertices) {
            const CHAIN_embedded_vertex_data_s* record = embedded_record(v);
            if (!record) continue;
            if (record->type == CHAIN_EMBEDDED_STRETCH_START) {
                if (open_start)
                    free_record(v, CHAIN_APP_DATA_EMBEDDED_VERTEX);
                else
                    open_start = v;
            } else if (record->type == CHAIN_EMBEDDED_STRETCH_END) {
                if (!open_start) {
                    free_record(v, CHAIN_APP_DATA_EMBEDDED_VERTEX);
                } else {
                    fill_stretch(chain, open_start, v, spacing, callback);
                    open_start = nullptr;
                }
            }
        }
    }
    if (closed) restart_at(chain, entry_first);
    CHAIN_drop_cached_box(chain);
    clean_up_embedded_states(chain);
    if (has_header_key(chain, CHAIN_APP_DATA_EMBEDDED_MARKS) && has_header_key(chain, CHAIN_APP_DATA_NARROW_EMBEDDED))
        CHAIN_debug_report(19, "Chain - narrow embedded", chain, nullptr);
    CHAIN_debug_report(19, "chain - after evenly distribute", chain, nullptr);
}

void CHAIN_insert_tangential_loops(RING_header_s* chain, double radius) {
    MERROW1_REQUIRE(chain, "DUE_TO_INVALID_DATA", );
    MERROW1_REQUIRE(valid_radius(radius), "DUE_TO_INVALID_RADIUS", );
    if (!chain->first) return;
    const bool closed = is_closed(chain);
    if (closed) CHAIN_open(chain, chain->first);
    ReclosingGuard reclose(chain, closed);
    const std::vector<RING_node_s*> vertices = vertices_of(chain);
    for (RING_node_s* v : vertices) {
        if (!embedded_record(v)) continue;
        double centre[2], normal[2];
        RING_header_s* loop = make_loop(chain, v, radius, chain->pool, centre, normal);
        if (!loop) continue;
        // Drop the loop's start point; its arcs follow the vertex.
        RING_delete_node(loop, loop->first);
        RING_node_s* after = v;
        for (int i = 0; loop->first && i <= chain->count + loop->count; ++i) {
            RING_node_s* moved = loop->first;
            RING_move_node(loop, moved, chain, after);
            after = moved;
        }
        RING_delete(loop);
    }
    CHAIN_drop_cached_box(chain);
}

RING_header_s* CHAIN_create_tangential_vertex_loop(const RING_header_s* chain, const RING_node_s* vertex,
                                                   double radius, CMEM_pool_s* pool, Korvo::Math::Point2* centre,
                                                   Korvo::Math::Vector2* direction) {
    MERROW1_REQUIRE(chain && vertex, "DUE_TO_INVALID_DATA", nullptr);
    MERROW1_REQUIRE(valid_radius(radius), "DUE_TO_INVALID_RADIUS", nullptr);
    double c[2], normal[2];
    RING_header_s* loop = make_loop(chain, vertex, radius, pool, c, normal);
    if (!loop) return nullptr;
    if (centre) *centre = {c[0], c[1]};
    if (direction) *direction = {normal[0], normal[1]};
    return loop;
}

RING_header_s* CHAIN_create_chain_from_tangential_loops(const Korvo::Math::Point2* point,
                                                        const Korvo::Math::Vector2* direction, double largest_radius,
                                                        double smallest_radius, DIRECTION sense, int count,
                                                        const CSYS* csys, CMEM_pool_s* pool) {
    MERROW1_REQUIRE(point && direction && std::isfinite(point->x) && std::isfinite(point->y), "DUE_TO_INVALID_DATA",
                    nullptr);
    const double size = std::hypot(direction->x, direction->y);
    MERROW1_REQUIRE(std::isfinite(size) && size > 0.0, "DUE_TO_INVALID_DATA", nullptr);
    MERROW1_REQUIRE(valid_radius(largest_radius) && std::isfinite(smallest_radius), "DUE_TO_INVALID_DATA", nullptr);
    const double dx = direction->x / size, dy = direction->y / size;
    RING_header_s* chain = CHAIN_create_from_csys(csys, pool);
    end_segment start{point->x, point->y, 0.0, 0.0, 0.0, 0};
    ChainAddVertex(chain, &start, SEG_POINT);
    try {
        // k / count is only formed for a positive count.
        for (int k = 0; count > 0 && k <= count; ++k) {
            const double radius = smallest_radius + static_cast<double>(k) / static_cast<double>(count) *
                                                        (largest_radius - smallest_radius);
            if (!(radius >= kSmallestLoopRadius)) continue;
            const Korvo::Math::Point2 centre{point->x + radius * dx, point->y + radius * dy};
            const Korvo::Math::Vector2 back{-dx, -dy};
            RING_header_s* loop = CHAIN_create_circle_chain(csys, radius, &centre, &back, sense, pool);
            if (!loop) continue;
            CHAIN_open(loop, nullptr);
            CHAIN_append_chain_to_chain(chain, loop, kCloseGap);
            RING_delete(loop);
        }
    } catch (...) {
        RING_delete(chain);
        throw;
    }
    return chain;
}

RING_header_s* CHAIN_create_tangential_trochoidal_chain(RING_header_s* chain, double radius, double spacing,
                                                        CHAIN_vertex_source_callback_t callback, CMEM_pool_s* pool) {
    MERROW1_REQUIRE(spacing_fits(chain, spacing), "DUE_TO_INVALID_DATA", nullptr);
    MERROW1_REQUIRE(valid_radius(radius), "DUE_TO_INVALID_RADIUS", nullptr);
    if (!chain->first) return nullptr;
    RING_header_s* result = CHAIN_create_from_chain(chain, pool);
    RING_header_s* piece = nullptr;
    try {
        CHAIN_evenly_distribute_embedded_vertices(chain, spacing, nullptr);
        const double tolerance = closing_tolerance(chain);
        const bool closed = is_closed(chain);
        double centre[2], normal[2];
        auto append_loop = [&](RING_node_s* v) {
            RING_header_s* loop = make_loop(chain, v, radius, pool, centre, normal);
            if (!loop) return;
            CHAIN_append_chain_to_chain(result, loop, tolerance);
            RING_delete(loop);
        };
        const std::vector<RING_node_s*> vertices = vertices_of(chain);
        if (!closed) {
            end_segment start{point_of(vertices[0])[0], point_of(vertices[0])[1], 0.0, 0.0, 0.0, 0};
            ChainAddVertex(result, &start, SEG_POINT);
            if (embedded_record(vertices[0])) append_loop(vertices[0]);
        }
        // Each piece runs from the previous vertex to the next one; a closed
        // chain's last piece ends at its first vertex.
        const size_t n = vertices.size();
        for (size_t i = 1; i <= (closed ? n : n - 1); ++i) {
            RING_node_s* from = vertices[i - 1];
            RING_node_s* to = vertices[i % n];
            POINT_ON_CHAIN_s a{}, b{};
            PART_OF_CHAIN_s part{};
            if (!PointOnChainCreate(chain, from, 0, point_of(from), &a) ||
                !PointOnChainCreate(chain, to, 0, point_of(to), &b) || !CreatePartOfChain(&part, &a, &b))
                continue;
            piece = CHAIN_create_from_chain(chain, pool);
            ChainMerge(piece, &part, 0, callback);
            CHAIN_append_chain_to_chain(result, piece, tolerance);
            RING_delete(piece);
            piece = nullptr;
            if (embedded_record(to)) append_loop(to);
        }
        if (closed) CHAIN_close(result, tolerance);
    } catch (...) {
        if (piece) RING_delete(piece);
        RING_delete(result);
        throw;
    }
    return result;
}
