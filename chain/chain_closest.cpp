// Nearest points of chains to a point, and detour paths around regions.
#include <merrow1/chain_closest.h>

#include <internal/check.h>
#include <internal/scratch_pool.h>
#include "chain/chain_record.h"
#include "chain/chain_readings.h"
#include "internal/ring_nodes.h"
#include "chain/split_network.h"
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_merge.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_split.h>
#include <merrow1/segment.h>
#include <quorn/quorn.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using merrow1::is_closed;

// Nearest places tie within five approximation tolerances of the chain, and
// never within less than this.
const double kTieFloor = 1e-7;

}  // namespace

double ChainClosestPointOnChainList(RING_header_s* chain, const Korvo::Math::Point3& point,
                                    std::vector<POINT_ON_CHAIN_s>& places) {
    if (!chain || chain->type != RING_TYPE_CHAIN || !chain->first) return 0.0;
    const auto* data = static_cast<const CHAIN_main_data_s*>(chain->main_data);
    const double approximation = data && data->approximation_tolerance_set ? data->approximation_tolerance : 0.0;
    const double tie = std::max(kTieFloor, 5.0 * approximation);
    const double p[2] = {point.x, point.y};
    const RING_node_s* turning = merrow1::turning_vertex(chain);
    double best = 1e7;
    const int segments = is_closed(chain) ? chain->count : chain->count - 1;
    RING_node_s* node = chain->first->next;
    for (int k = 1; k <= segments && node; ++k, node = node->next) {
        SEGMENT segment;
        if (ChainSegment(chain, node, &segment)) {
            double at[2];
            const double d = SegmentPointMinDist(&segment, p, at);
            POINT_ON_CHAIN_s place{};
            if (d < best - tie) {
                best = d;
                places.clear();
                if (PointOnChainCreate(chain, node, k, at, &place)) places.push_back(place);
            } else if (std::fabs(d - best) <= tie) {
                // The same point reached from two segments (a shared vertex)
                // is listed once.
                const bool listed = std::any_of(places.begin(), places.end(), [&](const POINT_ON_CHAIN_s& q) {
                    return std::hypot(q.point[0] - at[0], q.point[1] - at[1]) <= tie;
                });
                if (!listed && PointOnChainCreate(chain, node, k, at, &place)) places.push_back(place);
            }
        }
        if (node == turning) break;
    }
    return best;
}

double ChainClosestPointVectorList(RING_header_s* chain, const Korvo::Math::Point3& point,
                                   std::vector<Korvo::Math::Point3>& points,
                                   std::vector<Korvo::Math::Vector3>& tangents) {
    std::vector<POINT_ON_CHAIN_s> places;
    const double distance = ChainClosestPointOnChainList(chain, point, places);
    if (places.empty()) return 1e7;
    for (const POINT_ON_CHAIN_s& place : places) {
        points.push_back({place.point[0], place.point[1], 0.0});
        if (!place.chain) continue;
        SEGMENT segment;
        double t[2];
        if (ChainSegment(place.chain, place.node, &segment) && SegmentTangent(&segment, place.point, t))
            tangents.push_back({t[0], t[1], 0.0});
    }
    return distance;
}

bool CHAIN_find_closest_point(RING_header_s* set, const Korvo::Math::Point2& p, double search_distance,
                              Korvo::Math::Point2* out) {
    if (!set || !std::isfinite(search_distance) || search_distance <= 0.0) return false;
    double r = search_distance;
    bool found = false;
    const double q[2] = {p.x, p.y};
    auto search_chain = [&](const RING_header_s* chain) {
        if (!chain->first) return;
        const int segments = is_closed(chain) ? chain->count : chain->count - 1;
        const RING_node_s* node = chain->first->next;
        for (int k = 1; k <= segments && node; ++k, node = node->next) {
            SEGMENT segment;
            if (!ChainSegment(chain, node, &segment)) continue;
            const double s[2] = {segment.start[0], segment.start[1]}, e[2] = {segment.end->x, segment.end->y};
            double box[4] = {std::min(s[0], e[0]) - r, std::min(s[1], e[1]) - r, std::max(s[0], e[0]) + r,
                             std::max(s[1], e[1]) + r};
            if (segment.type == SEG_ARC) {
                // The bulge side: half the chord turned a quarter turn away
                // from the centre covers an arc up to a half circle.
                const double h[2] = {0.5 * (e[1] - s[1]), -0.5 * (e[0] - s[0])};
                const double m[2] = {0.5 * (s[0] + e[0]), 0.5 * (s[1] + e[1])};
                const double away = (m[0] - segment.end->cx) * h[0] + (m[1] - segment.end->cy) * h[1];
                // A half circle has its centre on the chord: a CCW one bulges
                // to the chord's right.
                const bool right = away != 0.0 ? away > 0.0 : segment.end->direction != CW;
                const double bulge[2] = {right ? h[0] : -h[0], right ? h[1] : -h[1]};
                if (bulge[0] > 0) box[2] += bulge[0];
                else box[0] += bulge[0];
                if (bulge[1] > 0) box[3] += bulge[1];
                else box[1] += bulge[1];
            }
            if (q[0] < box[0] || q[0] > box[2] || q[1] < box[1] || q[1] > box[3]) continue;
            double at[2];
            const double d = SegmentPointMinDist(&segment, q, at);
            if (d < r) {
                r = d;
                found = true;
                if (out) *out = Korvo::Math::Point2{at[0], at[1]};
            }
        }
    };
    merrow1::for_each_chain(const_cast<RING_header_s*>(set), search_chain);
    return found;
}

// ---------------------------------------------------------------------------
// Detour paths around regions
//
// The straight line L from A to B is cut at its crossings with the regions
// and the pieces of L and of the region boundaries form a cleaned split-chain
// network (chain_split.h).  The walk starts at the junction of A: where a
// junction holds L's piece leaving it towards B the path takes that piece;
// where it does not (L ran into a region there), the shortest way along the
// region boundaries to a junction back on L is taken instead.  Junctions
// already walked carry key 5 so that no way around comes back to them.

namespace {

using merrow1::ring_nodes;

// Points closer than this (squared) are one junction.
constexpr double kSameJunctionSquared = 1e-16;
// A first line segment whose end lies within this of P1 keeps its start.
constexpr double kRestoreDistance = 2.5e-8;
// "No route" length.
constexpr double kNoRoute = 1e7;

const double* junction_point(const RING_node_s* junction) {
    const RING_header_s* ends = RING_ask_node_subring(junction);
    return ends && ends->main_data ? static_cast<const SPLIT_JUNCTION_s*>(ends->main_data)->point : nullptr;
}

bool same_point(const double a[2], const double b[2]) {
    const double dx = a[0] - b[0], dy = a[1] - b[1];
    return dx * dx + dy * dy <= kSameJunctionSquared;
}

using merrow1::split_end_record;

const RING_header_s* chain_of(const SPLIT_CHAIN_s* end) {
    return end && end->piece && end->piece->start ? end->piece->start->chain : nullptr;
}

int records_at(const RING_node_s* junction) {
    const RING_header_s* ends = junction ? RING_ask_node_subring(junction) : nullptr;
    return ends ? ends->count : 0;
}

// The neighbour of the arriving end record in its junction's ring: the next
// record when the piece's material side, seen from this end (mirrored for a
// reversed end), is RIGHT, else the previous one.  Turning that way keeps the
// walk on the boundary of the free area it came along.
RING_node_s* turn_at(const RING_header_s* ends, RING_node_s* arriving) {
    const SPLIT_CHAIN_s* end = split_end_record(arriving);
    const RING_header_s* chain = chain_of(end);
    const CHAIN_main_data_s* data = merrow1::main_of(chain);
    SIDE side = data ? data->material_side : 0;
    if (end->reversed) side = merrow1::other_side(side);
    if (side == RIGHT) return arriving->next ? arriving->next : ends->first;
    return arriving->previous ? arriving->previous : ends->last;
}

// The state of one detour build: the line, the network, the output and the
// key-5 marks, which the destructor removes on every path.
class DetourWalk {
public:
    DetourWalk(RING_header_s* line, RING_header_s* network, RING_header_s* path, const RING_header_s* regions)
        : m_line(line), m_network(network), m_path(path), m_regions(regions) {
        for (RING_node_s* junction : ring_nodes(network)) {
            RING_delete_app_data_of_node(network, junction, CHAIN_APP_DATA_SCRATCH_MARK);
            m_end_records += records_at(junction);
        }
    }
    ~DetourWalk() {
        for (RING_node_s* junction : m_marked) RING_delete_app_data_of_node(m_network, junction, CHAIN_APP_DATA_SCRATCH_MARK);
    }
    DetourWalk(const DetourWalk&) = delete;
    DetourWalk& operator=(const DetourWalk&) = delete;

    // Walks from A to B; false when no path was found.  The length walked is
    // added to *total.
    bool run(const double a[2], const double b[2], double* total) {
        RING_node_s* junction = m_network->first;
        if (!junction || !junction_point(junction) || !same_point(junction_point(junction), a)) return false;
        // Every step detaches at least one end record.
        for (long steps = 0; steps <= m_end_records; ++steps) {
            if (same_point(junction_point(junction), b)) return true;
            if (RING_node_s* along = line_piece_leaving(junction)) {
                SPLIT_CHAIN_s* end = split_end_record(along);
                RING_node_s* far = end->far_junction;
                merge(end);
                *total += CHAIN_length_of_part_of_chain(end->piece);
                detach_with_twin(junction, along);
                mark(junction);
                junction = far;
            } else {
                std::vector<RING_node_s*> route;
                const double length = shortest_route(junction, route);
                if (route.empty()) return false;
                *total += length;
                junction = walk(junction, route);
            }
            // A walk that runs out of junctions before B has not found a path.
            if (!junction || !junction_point(junction)) return false;
        }
        return false;
    }

private:
    bool on_line(const RING_header_s* chain) const { return chain == m_line; }

    // The end record at the junction of L's piece that leaves it towards B.
    RING_node_s* line_piece_leaving(RING_node_s* junction) const {
        for (RING_node_s* node : ring_nodes(RING_ask_node_subring(junction))) {
            const SPLIT_CHAIN_s* end = split_end_record(node);
            if (end && on_line(chain_of(end)) && !end->reversed) return node;
        }
        return nullptr;
    }

    bool marked(const RING_node_s* junction) const {
        return APP_DATA__ask_app_data(junction->app_data, CHAIN_APP_DATA_SCRATCH_MARK) != nullptr;
    }
    void mark(RING_node_s* junction) {
        if (marked(junction)) return;
        RING_put_node_app_data(m_network, junction, CHAIN_APP_DATA_SCRATCH_MARK, junction);
        m_marked.push_back(junction);
    }

    bool lies_on_line(const RING_node_s* junction) const {
        return ChainPointLocation(m_line, junction_point(junction), nullptr) == CHAIN_LOCATION_ON;
    }

    // Pieces of the caller's regions keep their source links; pieces of the
    // line or of a private copy do not, as those chains die with the call.
    void merge(const SPLIT_CHAIN_s* end) {
        const RING_header_s* chain = chain_of(end);
        if (caller_chain(chain))
            ChainMerge(m_path, end->piece, end->reversed, nullptr);
        else
            ChainMergeNoSource(m_path, end->piece, end->reversed, nullptr);
    }
    bool caller_chain(const RING_header_s* chain) const {
        if (!chain || on_line(chain)) return false;
        for (RING_node_s* node : ring_nodes(m_regions))
            if (RING_ask_node_subring(node) == chain) return true;
        return false;
    }

    // Removes the end record and the other end of its piece from their
    // junctions.
    void detach_with_twin(RING_node_s* junction, RING_node_s* record) {
        RING_header_s* far_ends = nullptr;
        RING_node_s* twin = NextSplitChain(split_end_record(record), &far_ends);
        RING_delete_node(RING_ask_node_subring(junction), record);
        if (twin && far_ends) RING_delete_node(far_ends, twin);
    }

    // The shortest way from the junction along region pieces to a junction
    // on L: its end records in order (empty for none) and its length.  A
    // route is given up when it reaches a marked junction, the start again,
    // a junction it passed already, a dead end (fewer than two records) or
    // runs longer than the network has end records.  A later route replaces
    // the best only when shorter by the host length tolerance.
    double shortest_route(RING_node_s* start, std::vector<RING_node_s*>& best) {
        double best_length = kNoRoute;
        const double tolerance = EQ_ask_length_tolerance();
        for (RING_node_s* first : ring_nodes(RING_ask_node_subring(start))) {
            if (!split_end_record(first) || on_line(chain_of(split_end_record(first)))) continue;
            std::vector<RING_node_s*> route;
            std::vector<const RING_node_s*> passed{start};
            double length = 0.0;
            bool valid = false;
            RING_node_s* node = first;
            for (long steps = 0; steps < m_end_records; ++steps) {
                const SPLIT_CHAIN_s* end = split_end_record(node);
                RING_node_s* far = end ? end->far_junction : nullptr;
                if (!far || marked(far) || records_at(far) < 2 || !junction_point(far)) break;
                if (std::find(passed.begin(), passed.end(), far) != passed.end()) break;
                length += CHAIN_length_of_part_of_chain(end->piece);
                route.push_back(node);
                if (lies_on_line(far)) {
                    valid = true;
                    break;
                }
                RING_header_s* far_ends = nullptr;
                RING_node_s* twin = NextSplitChain(end, &far_ends);
                if (!twin || !far_ends) break;
                passed.push_back(far);
                node = turn_at(far_ends, twin);
            }
            if (valid && (best.empty() || length <= best_length - tolerance)) {
                best = route;
                best_length = length;
            }
        }
        return best.empty() ? kNoRoute : best_length;
    }

    // Appends the route's pieces, detaching each piece's two end records and
    // marking the junctions passed; returns the junction where it ends.
    RING_node_s* walk(RING_node_s* start, const std::vector<RING_node_s*>& route) {
        mark(start);
        RING_node_s* junction = start;
        for (RING_node_s* node : route) {
            const SPLIT_CHAIN_s* end = split_end_record(node);
            RING_node_s* far = end->far_junction;
            merge(end);
            detach_with_twin(junction, node);
            mark(far);
            junction = far;
        }
        return junction;
    }

    RING_header_s* m_line;
    RING_header_s* m_network;
    RING_header_s* m_path;
    const RING_header_s* m_regions;
    long m_end_records = 0;
    std::vector<RING_node_s*> m_marked;
};

// Moves the path's ends from the snapped points A and B back to P1 and P2.
void restore_true_ends(RING_header_s* path, const double a[2], const double p1[2], const double b[2],
                       const double p2[2]) {
    if (!same_point(a, p1) && path->count >= 2) {
        RING_node_s* first = path->first;
        RING_node_s* second = first->next;
        SEGMENT segment;
        if (ChainSegment(path, second, &segment)) {
            const double end[2] = {segment.end->x, segment.end->y};
            if (segment.type == SEG_LINE) {
                if (std::hypot(end[0] - p1[0], end[1] - p1[1]) > kRestoreDistance) {
                    double* start = static_cast<CHAIN_vertex_data_s*>(first->main_data)->geometry;
                    start[0] = p1[0];
                    start[1] = p1[1];
                }
            } else if (segment.type == SEG_ARC) {
                // The arc keeps its sense and radius, the radius raised to
                // half the new chord when the chord outgrows the circle.
                double radius = segment.end->radius;
                const double chord = std::hypot(end[0] - p1[0], end[1] - p1[1]);
                if (chord > 2.0 * radius) radius = 0.5 * chord;
                const DIRECTION direction = segment.end->direction;
                double start_buffer[2];
                end_segment end_buffer{};
                SEGMENT rebuilt{start_buffer, &end_buffer, nullptr, SEG_ARC};
                if (SegmentUpdate(&rebuilt, SEG_ARC, p1, end, nullptr, &radius, &direction) && rebuilt.type == SEG_ARC) {
                    double* start = static_cast<CHAIN_vertex_data_s*>(first->main_data)->geometry;
                    start[0] = p1[0];
                    start[1] = p1[1];
                    *segment.end = end_buffer;
                    segment.end->x = end[0];
                    segment.end->y = end[1];
                }
            }
        }
    }
    CHAIN_drop_cached_box(path);
    if (!same_point(b, p2) && path->last) {
        const Korvo::Math::Point2 to{p2[0], p2[1]};
        CHAIN_modify_vertex_point(path, path->last, &to);
    }
}

// The box caches of the caller's regions: the tolerance query and the
// intersections cache or refresh boxes on the chains they read.  The guard
// puts every cache back as it found it and drops the ones made, on every
// path, so the regions come out of the call as they went in.
class RegionBoxCaches {
public:
    explicit RegionBoxCaches(const RING_header_s* regions) {
        for (RING_node_s* node : ring_nodes(regions))
            if (RING_header_s* chain = RING_ask_node_subring(node)) {
                const CHAIN_BOX_s* box = CHAIN_ask_cached_box(chain);
                m_saved.push_back({chain, box != nullptr, box ? *box : CHAIN_BOX_s{}});
            }
    }
    ~RegionBoxCaches() {
        for (const Saved& saved : m_saved) {
            if (!saved.had)
                CHAIN_drop_cached_box(saved.chain);
            else if (CHAIN_BOX_s* box = CHAIN_ask_cached_box(saved.chain))
                *box = saved.box;
        }
    }
    RegionBoxCaches(const RegionBoxCaches&) = delete;
    RegionBoxCaches& operator=(const RegionBoxCaches&) = delete;

private:
    struct Saved {
        RING_header_s* chain;
        bool had;
        CHAIN_BOX_s box;
    };
    std::vector<Saved> m_saved;
};

// Regions as a list in the pool, with the chain standing in for the first.
RING_header_s* regions_with_first(const RING_header_s* regions, RING_header_s* first, CMEM_pool_s* pool) {
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_sub_ring_delfunc(list, nullptr);
    bool replaced = false;
    for (RING_node_s* node : ring_nodes(regions)) {
        RING_header_s* chain = RING_ask_node_subring(node);
        if (!chain) continue;
        RING_insert_after(list, list->last, replaced ? chain : first);
        replaced = true;
    }
    return list;
}

}  // namespace

int CHAIN_create_detour_path(RING_header_s* regions, const double p1[2], const double p2[2], RING_header_s* path,
                             double* length) {
    if (length) *length = 0.0;
    MERROW1_REQUIRE(regions && regions->type == RING_TYPE_LIST && path && path->type == RING_TYPE_CHAIN &&
                        path->main_data && p1 && p2,
                    "DUE_TO_INVALID_DATA", 0);
    MERROW1_REQUIRE(std::isfinite(p1[0]) && std::isfinite(p1[1]) && std::isfinite(p2[0]) && std::isfinite(p2[1]),
                    "DUE_TO_INVALID_DATA", 0);
    // The path is built into the chain given; one that holds vertices already
    // is refused rather than appended to.
    MERROW1_REQUIRE(!path->first, "DUE_TO_INVALID_DATA", 0);
    RING_header_s* first_region = nullptr;
    for (RING_node_s* node : ring_nodes(regions))
        if ((first_region = RING_ask_node_subring(node)) != nullptr) break;
    if (!first_region || !first_region->main_data) return 0;

    // 1. The path takes the first region's main data as an offset chain
    //    without side or direction.
    const auto* region_data = static_cast<const CHAIN_main_data_s*>(first_region->main_data);
    auto* data = static_cast<CHAIN_main_data_s*>(path->main_data);
    *data = *region_data;
    data->material_side = 0;
    data->kind = OFFSET_CHAIN;
    data->direction = 0;
    auto single_vertex = [&]() {
        end_segment at{p1[0], p1[1], 0.0, 0.0, 0.0, 0};
        ChainAddVertex(path, &at, SEG_POINT);
        return 1;
    };

    // 2. Coincident ends: a one-vertex path.
    if (same_point(p1, p2)) return single_vertex();

    RegionBoxCaches caches(regions);
    // 3. Ends within 20 tolerances of a region boundary are snapped onto it.
    double tolerance = CHAIN_ask_set_tolerance(regions);
    if (tolerance == 0.0) tolerance = CHAIN_ask_set_approx_tolerance(regions);
    double a[2] = {p1[0], p1[1]}, b[2] = {p2[0], p2[1]};
    if (tolerance > 0.0) {
        Korvo::Math::Point2 snapped{};
        if (CHAIN_find_closest_point(regions, {p1[0], p1[1]}, 20.0 * tolerance, &snapped)) a[0] = snapped.x, a[1] = snapped.y;
        if (CHAIN_find_closest_point(regions, {p2[0], p2[1]}, 20.0 * tolerance, &snapped)) b[0] = snapped.x, b[1] = snapped.y;
    }

    return merrow1::run_converting([&]() -> int {
        MERROW1_SCRATCH_POOL(scratch, "CHAIN_create_detour_path");
        // 4. An open first region that ends at A or B is extended past them
        //    so the line's end meets it; the extension is made on a private
        //    copy, the caller's chain is left as it is.
        RING_header_s* set = regions;
        if (first_region->first && !is_closed(first_region)) {
            const double* head = static_cast<const CHAIN_vertex_data_s*>(first_region->first->main_data)->geometry;
            const double* tail = static_cast<const CHAIN_vertex_data_s*>(first_region->last->main_data)->geometry;
            if (same_point(head, a) || same_point(head, b) || same_point(tail, a) || same_point(tail, b)) {
                RING_header_s* copy = CHAIN_copy(first_region, scratch, nullptr);
                if (copy) {
                    ChainExtend(copy, 0.1, CHAIN_EXTEND_BOTH_ENDS);
                    set = regions_with_first(regions, copy, scratch);
                }
            }
        }

        // 5. The line from A to B in the first region's coordinates, without
        //    a material side of its own: a sided line would count as a
        //    boundary in the cleaning and leave only the way around on its
        //    free side.
        const Korvo::Math::Point2 from{a[0], a[1]}, to{b[0], b[1]};
        RING_header_s* line = CHAIN_create_line_chain(&region_data->csys, &from, &to, scratch);
        if (!line) return single_vertex();
        auto* line_data = static_cast<CHAIN_main_data_s*>(line->main_data);
        *line_data = *region_data;
        line_data->material_side = 0;

        // 6. The split network of the line and the regions, cleaned.
        RING_header_s* intersections = RING_create_in_pool(nullptr, RING_TYPE_LIST, scratch);
        ChainToChainsInt(line, set, intersections, true);
        if (!intersections->first) return 0;
        RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, scratch);
        ChainsSplit(intersections, network);
        CHAIN_clean_split_chains(network);

        // 7. The walk from A to B; its marks go with it.
        double total = 0.0;
        {
            DetourWalk walk(line, network, path, regions);
            if (!walk.run(a, b, &total)) return 0;
        }
        if (length) *length = total;

        // 8. The path's ends back at P1 and P2, and the debug hand-off.
        restore_true_ends(path, a, p1, b, p2);
        CHAIN_debug_report(3, "CHAIN_create_detour_path: path", path, nullptr);
        return 1;
    });
}
