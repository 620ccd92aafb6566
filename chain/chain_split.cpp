// Split-chain network: the build from an intersection-point list, the walks
// between the two ends of a piece, and the interference indexing and cleaning
// that keep one level of a junction.
#include <merrow1/chain_split.h>

#include <internal/check.h>
#include <internal/scratch_pool.h>
#include "chain/chain_record.h"
#include "internal/ring_nodes.h"
#include "internal/vec2.h"
#include "chain/split_network.h"
#include "exact/orient2d.h"
#include <merrow1/chain.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <pellam/grid3d.h>
#include <velte/carr.h>
#include <velte/cmem.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// Points within this squared distance share a junction.
constexpr double kJunctionSquared = 1e-16;
const double kJunctionDistance = std::sqrt(kJunctionSquared);
// Angles and curvatures of end records tie within this.
constexpr double kTie = merrow1::split_end_tie;
// Slack of chain parameters.
constexpr double kParameterSlack = 1e-8;
// An extent of the junction grid of at most kFlatExtent is widened by
// kFlatWidening at its maximum, so the grid has room in both directions.
constexpr double kFlatExtent = 1e-10;
constexpr double kFlatWidening = 0.1;

using merrow1::is_closed;
using merrow1::point_of;
using merrow1::ring_nodes;

using merrow1::split_end_record;

const SPLIT_JUNCTION_s* junction_of(const RING_node_s* junction) {
    const RING_header_s* ring = RING_ask_node_subring(junction);
    return ring ? static_cast<const SPLIT_JUNCTION_s*>(ring->main_data) : nullptr;
}

int delete_end_record(RING_header_s*, RING_node_s* node) {
    CMEM_private_delete_object(node->main_data);
    node->main_data = nullptr;
    return 1;
}

int delete_junction_record(RING_header_s* ring) {
    CMEM_private_delete_object(ring->main_data);
    ring->main_data = nullptr;
    return 1;
}

const CHAIN_main_data_s* chain_data_of(const SPLIT_CHAIN_s* end) {
    if (!end || !end->piece || !end->piece->start || !end->piece->start->chain) return nullptr;
    return static_cast<const CHAIN_main_data_s*>(end->piece->start->chain->main_data);
}

using merrow1::other_side;

// Material side of the piece's chain, RIGHT and LEFT swapped for a reversed end.
int effective_side(const SPLIT_CHAIN_s* end) {
    const CHAIN_main_data_s* data = chain_data_of(end);
    const int side = data ? data->material_side : 0;
    return end->reversed ? other_side(side) : side;
}

bool ethereal(const SPLIT_CHAIN_s* end) {
    const CHAIN_main_data_s* data = chain_data_of(end);
    return data && data->ethereal;
}

bool full_tie(const SPLIT_CHAIN_s* a, const SPLIT_CHAIN_s* b) { return merrow1::split_ends_run_together(a, b); }

// The record's tangent angle as the key of the junction's order at the point
// `at`: a tangent a hair below +x, whose angle reads as 0 (a full turn), sorts
// last, where it lies.
double sort_angle(const SPLIT_CHAIN_s* end, const double at[2]) {
    CHAIN__branch_s branch{};
    if (end->angle != 0.0 || !merrow1::split_end_branch(end, at, true, &branch)) return end->angle;
    const double rise = branch.turn ? branch.turn * (at[0] - branch.centre[0]) : branch.other[1] - at[1];
    return rise < 0.0 ? 2.0 * merrow1::kPi : 0.0;
}

// Whether a new record goes right after R in the junction's order.  With the
// junction's point `at` (a build from an intersection list, whose points lie
// on their pieces within rounding), two records whose tangents and
// curvatures tie without their pieces running together (two curves crossing
// at a small angle, or parting slowly) go in the exact order of their
// branches where both can be read.
bool goes_after(const SPLIT_CHAIN_s* added, const SPLIT_CHAIN_s* r, const double at[2]) {
    const double mine = at ? sort_angle(added, at) : added->angle;
    const double theirs = at ? sort_angle(r, at) : r->angle;
    const bool tie = std::fabs(mine - theirs) <= kTie && std::fabs(added->curvature - r->curvature) <= kTie;
    if (tie && at && !merrow1::split_ends_run_together(added, r)) {
        CHAIN__branch_s a{}, b{};
        if (merrow1::split_end_branch(added, at, true, &a) && merrow1::split_end_branch(r, at, true, &b))
            if (const int order = CHAIN__compare_branches_from_axis(a, b)) return order > 0;
    }
    if (tie) {
        const int side_added = effective_side(added);
        const int side_r = effective_side(r);
        if (side_added != side_r) return side_added == LEFT || (side_added == 0 && side_r == RIGHT);
        return !(side_added == RIGHT && side_r == RIGHT);
    }
    if (mine >= theirs + kTie) return true;
    return std::fabs(mine - theirs) <= kTie && added->curvature >= r->curvature + kTie;
}

// ---------------------------------------------------------------------------
// Junction search: the first junction of the network within the junction
// distance (linear), through the host's interference grid (CHAIN_split), or
// through buckets of the points searched (ChainsSplit).

class JunctionFinder {
public:
    virtual ~JunctionFinder() = default;
    // The junction of the point; null when a new one must be made, which is
    // then handed to made().
    virtual RING_node_s* find(const double point[2]) = 0;
    // The junction the last point searched for belongs to.
    virtual void assign(RING_node_s*) {}
};

class LinearFinder : public JunctionFinder {
public:
    explicit LinearFinder(const RING_header_s* network) : m_network(network) {}
    RING_node_s* find(const double point[2]) override {
        RING_node_s* node = m_network->first;
        for (int i = 0; i < m_network->count && node; ++i, node = node->next) {
            const SPLIT_JUNCTION_s* junction = junction_of(node);
            if (junction && within(junction->point, point)) return node;
        }
        return nullptr;
    }
    static bool within(const double a[2], const double b[2]) {
        const double dx = a[0] - b[0], dy = a[1] - b[1];
        return dx * dx + dy * dy <= kJunctionSquared;
    }

private:
    const RING_header_s* m_network;
};

// A record of the grid: a junction node and the grid's mark.
struct GridItem {
    RING_node_s* junction;
    int mark;
};

int ask_item_mark(const void* record) { return static_cast<const GridItem*>(record)->mark; }
void set_item_mark(void* record, int mark) { static_cast<GridItem*>(record)->mark = mark; }

class GridFinder : public JunctionFinder {
public:
    GridFinder(const RING_header_s* intersections, CMEM_pool_s* pool) : m_pool(pool) {
        double box[6];
        extent(intersections, box);
        m_grid = GRID3D_create_empty(pool, box, 100, ask_item_mark, set_item_mark);
        m_candidates = CARR_create_pool_ptrarray(100, 50, pool);
    }
    // Each point gets its grid record first; the search skips it.  Grid
    // boxes are compared exactly, so the query box is the point's box
    // widened by the junction distance.
    RING_node_s* find(const double point[2]) override {
        m_item = CMEM_NEW(m_pool, GridItem);
        const double box[6] = {point[0], point[1], 0.0, point[0], point[1], 0.0};
        GRID3D_insert_into_grid(m_grid, m_item, box);
        const double d = kJunctionDistance;
        const double query[6] = {point[0] - d, point[1] - d, 0.0, point[0] + d, point[1] + d, 0.0};
        GRID3D_ask_interference(query, m_grid, m_candidates);
        for (int i = 0; i < CARR_ask_ptrarray_length(m_candidates); ++i) {
            auto* item = static_cast<GridItem*>(CARR_ask_ptrarray_item(m_candidates, i));
            if (item == m_item || !item->junction) continue;
            const SPLIT_JUNCTION_s* junction = junction_of(item->junction);
            if (junction && LinearFinder::within(junction->point, point)) return item->junction;
        }
        return nullptr;
    }
    void assign(RING_node_s* junction) override { m_item->junction = junction; }

private:
    // X and Y extent of the list: its cached box along the default axis when
    // it has one, else the extent of its points; a flat extent is widened.
    static void extent(const RING_header_s* intersections, double box[6]) {
        double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
        const CHAIN_BOX_s* cached = CHAIN_ask_cached_box(intersections);
        if (cached && cached->direction[0] == 0.0 && cached->direction[1] == 1.0) {
            lo[0] = cached->min_normal, hi[0] = cached->max_normal;
            lo[1] = cached->min_along, hi[1] = cached->max_along;
        } else {
            for (RING_node_s* list_node : ring_nodes(intersections))
                for (RING_node_s* node : ring_nodes(RING_ask_node_subring(list_node))) {
                    const auto* place = static_cast<const POINT_ON_CHAIN_s*>(node->main_data);
                    if (!place) continue;
                    for (int k = 0; k < 2; ++k) {
                        lo[k] = std::min(lo[k], place->point[k]);
                        hi[k] = std::max(hi[k], place->point[k]);
                    }
                }
            if (lo[0] > hi[0]) lo[0] = lo[1] = hi[0] = hi[1] = 0.0;
        }
        for (int k = 0; k < 2; ++k)
            if (hi[k] - lo[k] <= kFlatExtent) hi[k] += kFlatWidening;
        box[0] = lo[0], box[1] = lo[1], box[2] = 0.0;
        box[3] = hi[0], box[4] = hi[1], box[5] = 0.0;
    }

    CMEM_pool_s* m_pool;
    GRID3D_s* m_grid = nullptr;
    CARR_array_t* m_candidates = nullptr;
    GridItem* m_item = nullptr;
};

// The first junction the host's grid would find, through buckets of a fixed
// small size instead: the host's grid has at most 100 cells a side over the
// list's extent, so where the points crowd (the crossings of an offset of
// many small arcs lie in a band along it) every search reads a bucket of
// thousands.  The answer is the grid finder's: of the points searched before
// (in order) whose own point lies in the search box (the point widened by the
// junction distance, compared as the grid compares boxes), the first whose
// junction is within the junction distance.  A bucket holds the points of a
// square of kBucket a side, at least twice the junction distance, so a
// search box meets at most two buckets a side; bucket numbers grow with the
// coordinate (a floor of a rounded quotient never decreases), so every point
// of the box lies in a bucket the search reads.  A point with a coordinate
// that is not finite has no junction within any distance (its differences
// are not numbers, or infinite), and a search box of such a point holds no
// finite point: it is neither searched for nor kept.
class BucketFinder : public JunctionFinder {
public:
    RING_node_s* find(const double point[2]) override {
        m_current = std::isfinite(point[0]) && std::isfinite(point[1]) ? static_cast<int64_t>(m_points.size()) : -1;
        if (m_current < 0) return nullptr;
        m_points.push_back(Point{point[0], point[1], nullptr, -1});
        const double d = kJunctionDistance;
        const double low[2] = {point[0] - d, point[1] - d}, high[2] = {point[0] + d, point[1] + d};
        m_found.clear();
        for (int64_t x = bucket(low[0]); x <= bucket(high[0]); ++x)
            for (int64_t y = bucket(low[1]); y <= bucket(high[1]); ++y) {
                const auto head = m_heads.find(Bucket{x, y});
                for (int64_t k = head == m_heads.end() ? -1 : head->second; k >= 0;
                     k = m_points[static_cast<size_t>(k)].next)
                    m_found.push_back(k);
            }
        std::sort(m_found.begin(), m_found.end());
        for (const int64_t k : m_found) {
            const Point& p = m_points[static_cast<size_t>(k)];
            if (p.x < low[0] || p.x > high[0] || p.y < low[1] || p.y > high[1]) continue;
            const SPLIT_JUNCTION_s* junction = junction_of(p.junction);
            if (junction && LinearFinder::within(junction->point, point)) return p.junction;
        }
        return nullptr;
    }
    void assign(RING_node_s* junction) override {
        if (m_current < 0) return;
        Point& p = m_points[static_cast<size_t>(m_current)];
        p.junction = junction;
        int64_t& head = m_heads.emplace(Bucket{bucket(p.x), bucket(p.y)}, -1).first->second;
        p.next = head;
        head = m_current;
    }

private:
    static constexpr double kBucket = 0x1p-25;  // about 3e-8
    // Bucket numbers are clamped to +-2^40 (coordinates beyond 3e4 buckets
    // a side share the outermost ones): clamping keeps them non-decreasing.
    static int64_t bucket(double v) {
        const double b = std::floor(v / kBucket);
        return static_cast<int64_t>(std::max(-0x1p40, std::min(0x1p40, b)));
    }
    struct Bucket {
        int64_t x, y;
        bool operator==(const Bucket& o) const { return x == o.x && y == o.y; }
    };
    struct BucketHash {
        size_t operator()(const Bucket& b) const noexcept {
            return std::hash<uint64_t>()(static_cast<uint64_t>(b.x) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(b.y));
        }
    };
    struct Point {
        double x, y;
        RING_node_s* junction;
        int64_t next;  // the point searched before it in its bucket, -1 at the last
    };
    std::vector<Point> m_points;
    std::unordered_map<Bucket, int64_t, BucketHash> m_heads;  // bucket -> the last point in it
    std::vector<int64_t> m_found;
    int64_t m_current = -1;
};

// ---------------------------------------------------------------------------
// Build

RING_node_s* junction_for(RING_header_s* network, JunctionFinder& finder, const double point[2]) {
    if (RING_node_s* found = finder.find(point)) {
        finder.assign(found);
        return found;
    }
    RING_node_s* junction = merrow1::add_split_junction(network, point);
    finder.assign(junction);
    return junction;
}

const POINT_ON_CHAIN_s* place_of(const RING_node_s* node) {
    return static_cast<const POINT_ON_CHAIN_s*>(node->main_data);
}

// Steps of the build for one chain's point list (see ChainsSplit).
void split_points(RING_header_s* points, RING_header_s* network, JunctionFinder& finder, RING_header_s* pieces) {
    const std::vector<RING_node_s*> nodes = ring_nodes(points);
    const size_t n = nodes.size();
    if (n == 0) return;
    const bool closed = is_closed(points);
    CMEM_pool_s* pool = network->pool;
    auto made = [&](PART_OF_CHAIN_s* piece) {
        if (piece && pieces) RING_insert_after(pieces, pieces->last, piece);
        return piece;
    };
    PART_OF_CHAIN_s* first_backward = nullptr;
    SPLIT_CHAIN_s* first_backward_end = nullptr;
    RING_node_s* first_junction = nullptr;
    RING_node_s* previous_junction = nullptr;
    SPLIT_CHAIN_s* previous_forward_end = nullptr;
    PART_OF_CHAIN_s* previous_forward = nullptr;
    for (size_t i = 0; i < n; ++i) {
        const POINT_ON_CHAIN_s* place = place_of(nodes[i]);
        if (!place) continue;
        RING_node_s* junction = junction_for(network, finder, place->point);
        RING_put_node_app_data(points, nodes[i], CHAIN_APP_DATA_SPLIT_JUNCTION, junction);
        RING_header_s* ends = RING_ask_node_subring(junction);
        if (i == 0) {
            first_junction = junction;
            if (closed) first_backward = made(merrow1::make_split_piece(place_of(nodes[n - 1]), place, true, pool));
        }
        PART_OF_CHAIN_s* backward = i == 0 ? first_backward : previous_forward;
        if (SPLIT_CHAIN_s* end = backward ? PutSplitChain(ends, backward, 1) : nullptr) {
            end->far_junction = previous_junction;
            if (i == 0) first_backward_end = end;
        }
        if (previous_forward_end) previous_forward_end->far_junction = junction;
        PART_OF_CHAIN_s* forward = nullptr;
        if (i + 1 < n)
            forward = made(merrow1::make_split_piece(place, place_of(nodes[i + 1]), false, pool));
        else if (closed)
            forward = first_backward;
        previous_forward_end = forward ? PutSplitChain(ends, forward, 0) : nullptr;
        previous_forward = forward;
        previous_junction = junction;
    }
    if (closed) {
        if (previous_forward_end) previous_forward_end->far_junction = first_junction;
        if (first_backward_end) first_backward_end->far_junction = previous_junction;
    }
}

// Whether the far ends of two neighbouring records p, r (r after p) of
// pieces between the same two junctions go the other way round there, as
// two pieces side by side do: r's twin before p's.  The far junction's own
// count decides the wrap of its positions.
bool far_ends_mirror(const SPLIT_CHAIN_s* p, const SPLIT_CHAIN_s* r, RING_node_s** twin_p, RING_node_s** twin_r) {
    RING_header_s* far = nullptr;
    *twin_r = NextSplitChain(r, &far);
    *twin_p = NextSplitChain(p, nullptr);
    if (!*twin_r || !*twin_p || *twin_r == *twin_p || !far) return true;
    int i = split_end_record(*twin_r)->index;
    int j = split_end_record(*twin_p)->index;
    const int count = far->count;
    if (i == 1 && j == count) i = count + 1;
    if (j == 1 && i == count) j = count + 1;
    return i <= j;
}

void swap_records(RING_node_s* a, RING_node_s* b) {
    std::swap(a->main_data, b->main_data);
    std::swap(a->app_data, b->app_data);
    // The records moved; their index fields follow the positions.
    std::swap(split_end_record(a)->index, split_end_record(b)->index);
}

}  // namespace

namespace merrow1 {
namespace {
void order_pieces_lying_together(RING_node_s* junction);
}  // namespace
}  // namespace merrow1

namespace {

// Closes every junction's records into a ring numbered 1 to n, orders the
// records of pieces that lie together by their sides, then orders parallel
// pieces between the same two junctions consistently at both ends.
void finish_junctions(RING_header_s* network) {
    const std::vector<RING_node_s*> junctions = ring_nodes(network);
    for (RING_node_s* junction : junctions) merrow1::close_split_junction(RING_ask_node_subring(junction));
    for (RING_node_s* junction : junctions) merrow1::order_pieces_lying_together(junction);
    for (RING_node_s* junction : junctions) {
        RING_header_s* ends = RING_ask_node_subring(junction);
        if (!ends || ends->count < 2) continue;
        for (RING_node_s* node : ring_nodes(ends)) {
            const SPLIT_CHAIN_s* r = split_end_record(node);
            const SPLIT_CHAIN_s* p = split_end_record(node->previous);
            if (!r || !p || r == p || !full_tie(r, p) || !r->far_junction || r->far_junction != p->far_junction) continue;
            RING_node_s *other_p = nullptr, *other_r = nullptr;
            if (!far_ends_mirror(p, r, &other_p, &other_r)) swap_records(other_r, other_p);
        }
    }
}

template <class Finder>
void build(const RING_header_s* intersections, RING_header_s* network, Finder& finder, RING_header_s* pieces) {
    for (RING_node_s* list_node : ring_nodes(intersections))
        if (RING_header_s* points = RING_ask_node_subring(list_node)) split_points(points, network, finder, pieces);
    finish_junctions(network);
}

}  // namespace

SPLIT_CHAIN_s* PutSplitChain(RING_header_s* junction, PART_OF_CHAIN_s* piece, int reversed) {
    if (!junction || !piece || !piece->start || !piece->end) return nullptr;
    const POINT_ON_CHAIN_s* at = reversed ? piece->end : piece->start;
    if (!at->chain || !at->node) return nullptr;
    SEGMENT segment;
    double tangent[2];
    if (!ChainSegment(at->chain, at->node, &segment) || !SegmentTangent(&segment, at->point, tangent)) return nullptr;
    double curvature = SegmentCurvature(&segment);
    if (reversed) {
        tangent[0] = -tangent[0];
        tangent[1] = -tangent[1];
        curvature = -curvature;
    }
    return merrow1::put_split_end(junction, piece, reversed, curvature, tangent, true);
}

namespace merrow1 {

RING_node_s* add_split_junction(RING_header_s* network, const double point[2]) {
    CMEM_pool_s* pool = network->pool;
    SPLIT_JUNCTION_s* record = CMEM_NEW(pool, SPLIT_JUNCTION_s);
    record->point[0] = point[0];
    record->point[1] = point[1];
    RING_header_s* ring = RING_create_in_pool(record, RING_TYPE_CHAIN, pool);
    RING_set_main_data_delfunc(ring, delete_junction_record);
    RING_set_node_main_data_delfunc(ring, delete_end_record);
    return RING_insert_after(network, network->last, ring);
}

SPLIT_CHAIN_s* put_split_end(RING_header_s* junction, PART_OF_CHAIN_s* piece, int reversed, double curvature,
                             const double tangent[2], bool exact_order) {
    SPLIT_CHAIN_s* added = CMEM_NEW(junction->pool, SPLIT_CHAIN_s);
    if (!added) return nullptr;
    added->curvature = curvature;
    added->angle = ChainVectorCircularParameter(tangent);
    added->piece = piece;
    added->reversed = reversed ? 1 : 0;
    const auto* record = static_cast<const SPLIT_JUNCTION_s*>(junction->main_data);
    const double* at = record && exact_order ? record->point : nullptr;
    // Walk from the last record towards the first for the record it follows.
    RING_node_s* after = nullptr;
    RING_node_s* node = junction->last;
    for (int i = 0; i < junction->count && node; ++i, node = node->previous) {
        if (goes_after(added, split_end_record(node), at)) {
            after = node;
            break;
        }
        if (node == junction->first) break;
    }
    RING_insert_after(junction, after, added);
    return added;
}

namespace {

// The place where the record's piece ends away from its junction.
const POINT_ON_CHAIN_s* far_place(const SPLIT_CHAIN_s* end) { return end->reversed ? end->piece->start : end->piece->end; }

// The point in the middle of the piece's parameters.
bool middle_of(const PART_OF_CHAIN_s* piece, double mid[2]) {
    const RING_header_s* chain = piece->start->chain;
    if (!chain || chain->count < 1) return false;
    double m = (piece->start->parameter + piece->end->parameter) / 2;
    if (is_closed(chain) && m > chain->count) m -= chain->count;
    Korvo::Math::Point2 p{};
    if (!ChainGetParamPoint(chain, m, &p)) return false;
    mid[0] = p.x, mid[1] = p.y;
    return true;
}

// Side of b's piece from a's, for two pieces from the junction point `from`
// to the far junction's point `to`: +1 when b's middle lies left of the chord
// from -> to and a's does not, or a's right of it and b's not; -1 the other
// way round; 0 when both lie on one side (or on it), which decides nothing.
// Exact (exact/orient2d) on the middles as found.
int side_of_middles(const SPLIT_CHAIN_s* a, const SPLIT_CHAIN_s* b, const double from[2], const double to[2]) {
    double ma[2], mb[2];
    if (!middle_of(a->piece, ma) || !middle_of(b->piece, mb)) return 0;
    const int sa = ORIENT2D_sign(from, to, ma), sb = ORIENT2D_sign(from, to, mb);
    return sb > sa ? 1 : sb < sa ? -1 : 0;
}

// The record of the piece its chain runs along into (out of) the junction
// just before (after) the record's piece leaves (reaches) it; null when
// there is none.
const SPLIT_CHAIN_s* continuation(const RING_header_s* ends, const SPLIT_CHAIN_s* end) {
    const POINT_ON_CHAIN_s* at = end->reversed ? end->piece->end : end->piece->start;
    for (RING_node_s* node : ring_nodes(ends)) {
        const SPLIT_CHAIN_s* other = split_end_record(node);
        if (!other || other->piece == end->piece || other->reversed == end->reversed) continue;
        const POINT_ON_CHAIN_s* there = other->reversed ? other->piece->end : other->piece->start;
        if (there->chain == at->chain && there->point[0] == at->point[0] && there->point[1] == at->point[1])
            return other;
    }
    return nullptr;
}

// Whether the two records' chains run together along the pieces they
// continue at the junction.
bool continue_together(const RING_header_s* ends, const SPLIT_CHAIN_s* a, const SPLIT_CHAIN_s* b) {
    const SPLIT_CHAIN_s* before_a = continuation(ends, a);
    const SPLIT_CHAIN_s* before_b = continuation(ends, b);
    return before_a && before_b && full_tie(before_a, before_b);
}

// Two stretches of different chains that run together through a corner each,
// the corners some 1e-8 apart, make two junctions, each holding one chain's
// vertex and a place inside the other's segment a few 1e-9 off the
// junction's point; between them run two short pieces that lie together
// without leaving with one tangent.  Over pieces so short the place's offset
// outweighs the turn between the tangents, and the two junctions may order
// the pieces alike, which bounds a face no level fits.  Such neighbouring
// records go in the order of their pieces' sides at the junction where the
// tangents misread it: leaving a junction towards one far junction, the
// record counter-clockwise after the other is the piece on its left.
void order_pieces_lying_together(RING_node_s* junction) {
    RING_header_s* ends = RING_ask_node_subring(junction);
    const SPLIT_JUNCTION_s* here = junction_of(junction);
    if (!ends || !here || ends->count < 3) return;
    for (RING_node_s* node : ring_nodes(ends)) {
        const SPLIT_CHAIN_s* r = split_end_record(node);
        const SPLIT_CHAIN_s* p = split_end_record(node->previous);
        if (!r || !p || r->piece == p->piece || !r->far_junction || r->far_junction != p->far_junction ||
            full_tie(r, p) || !merrow1::split_ends_lie_together(r, p))
            continue;
        RING_node_s *twin_p = nullptr, *twin_r = nullptr;
        if (far_ends_mirror(p, r, &twin_p, &twin_r)) continue;
        const RING_header_s* far_ends = RING_ask_node_subring(r->far_junction);
        if (!continue_together(ends, r, p) || !far_ends ||
            !continue_together(far_ends, split_end_record(twin_r), split_end_record(twin_p)))
            continue;
        const SPLIT_JUNCTION_s* far = junction_of(r->far_junction);
        const int side = far ? side_of_middles(p, r, here->point, far->point) : 0;
        if (side < 0)
            swap_records(node, node->previous);
        else if (side > 0)
            swap_records(twin_r, twin_p);
    }
}

}  // namespace

bool split_ends_run_together(const SPLIT_CHAIN_s* a, const SPLIT_CHAIN_s* b) {
    return a && b && split_ends_tie(a, b) && split_ends_lie_together(a, b);
}

bool split_ends_lie_together(const SPLIT_CHAIN_s* a, const SPLIT_CHAIN_s* b) {
    if (!a || !b) return false;
    if (!a->piece || !b->piece || !a->piece->start || !a->piece->end || !b->piece->start || !b->piece->end) return false;
    if (!LinearFinder::within(far_place(a)->point, far_place(b)->point)) return false;
    double mid[2];
    return middle_of(a->piece, mid) && PartOfChainPointMinDis(b->piece, mid, nullptr) <= kJunctionDistance &&
           middle_of(b->piece, mid) && PartOfChainPointMinDis(a->piece, mid, nullptr) <= kJunctionDistance;
}

namespace {
bool same_point(const double* a, const double* b) { return a[0] == b[0] && a[1] == b[1]; }
}  // namespace

bool split_end_branch(const SPLIT_CHAIN_s* end, const double at[2], bool inside, CHAIN__branch_s* branch) {
    const POINT_ON_CHAIN_s* place = end->reversed ? end->piece->end : end->piece->start;
    if (!place || !place->node || !place->chain) return false;
    const RING_header_s* chain = place->chain;
    if (place->inside)
        return inside && CHAIN__branch_along_segment(chain, place->node, at, !end->reversed, branch);
    RING_node_s* vertex = place->node;
    if (!same_point(point_of(vertex), at)) vertex = vertex->previous;
    if (!vertex || !same_point(point_of(vertex), at)) return false;
    if (!end->reversed) {
        if (!is_closed(chain) && vertex == chain->last) return false;
        return CHAIN__branch_of_segment(chain, vertex->next, true, branch);
    }
    if (!is_closed(chain) && vertex == chain->first) return false;
    return CHAIN__branch_of_segment(chain, vertex, false, branch);
}

void close_split_junction(RING_header_s* ends) {
    if (!ends || !ends->first) return;
    ends->last->next = ends->first;
    ends->first->previous = ends->last;
    int position = 0;
    for (RING_node_s* node : ring_nodes(ends)) split_end_record(node)->index = ++position;
}

PART_OF_CHAIN_s* make_split_piece(const POINT_ON_CHAIN_s* from, const POINT_ON_CHAIN_s* to, bool around,
                                  CMEM_pool_s* pool) {
    POINT_ON_CHAIN_s* start = CMEM_NEW(pool, POINT_ON_CHAIN_s);
    POINT_ON_CHAIN_s* end = CMEM_NEW(pool, POINT_ON_CHAIN_s);
    PART_OF_CHAIN_s* piece = CMEM_NEW(pool, PART_OF_CHAIN_s);
    *start = *from;
    *end = *to;
    if (around && end->chain && end->parameter <= start->parameter + kParameterSlack) end->parameter += end->chain->count;
    if (!CreatePartOfChain(piece, start, end)) {
        CMEM_private_delete_object(start);
        CMEM_private_delete_object(end);
        CMEM_private_delete_object(piece);
        return nullptr;
    }
    return piece;
}

}  // namespace merrow1

void ChainsSplit(const RING_header_s* intersections, RING_header_s* network) {
    if (!intersections || !network) return;
    // The first junction of the network within the junction distance: the
    // buckets answer their candidates in the order they were made, which is
    // the network's order, so they find the same one as a walk over the
    // network would, without a walk per point.
    merrow1::run_converting([&] {
        BucketFinder finder;
        build(intersections, network, finder, nullptr);
    });
    CHAIN__remove_unneeded_splitpoints(network);
}

RING_header_s* CHAIN_split(const RING_header_s* intersections, RING_header_s* network) {
    if (!intersections || !network) return nullptr;
    RING_header_s* pieces = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, network->pool);
    merrow1::run_converting([&] {
        MERROW1_SCRATCH_POOL(scratch, "CHAIN_split");
        GridFinder finder(intersections, scratch);
        build(intersections, network, finder, pieces);
    });
    return pieces;
}

void CHAIN__remove_unneeded_splitpoints(RING_header_s* network) {
    if (!network) return;
    for (RING_node_s* junction : ring_nodes(network)) {
        const RING_header_s* ends = RING_ask_node_subring(junction);
        if (!ends || !ends->first) RING_disconnect_node(network, junction);
    }
}

RING_node_s* NextSplitChain(const SPLIT_CHAIN_s* end, RING_header_s** junction) {
    if (junction) *junction = nullptr;
    if (!end || !end->far_junction) return nullptr;
    RING_header_s* ends = RING_ask_node_subring(end->far_junction);
    if (junction) *junction = ends;
    for (RING_node_s* node : ring_nodes(ends)) {
        const SPLIT_CHAIN_s* other = split_end_record(node);
        if (other && other->piece == end->piece && other->reversed != end->reversed) return node;
    }
    return nullptr;
}

RING_node_s* CHAIN_reverse_splitchain(const RING_node_s* record_node) {
    RING_node_s* twin = NextSplitChain(split_end_record(record_node), nullptr);
    if (!twin) MERROW1_NOTE_FAILURE("DUE_TO_REVERSE_SPLITCHAIN_NOT_EXISTING");
    return twin;
}

int ChainsNodeInterfIndex(RING_header_s* junction, RING_node_s* start, int base, int min, bool* consistent) {
    if (consistent) *consistent = true;
    if (!junction || !junction->first) return min;
    if (!start) start = junction->first;
    const SPLIT_CHAIN_s* first = split_end_record(start);
    const int initial = first && effective_side(first) == RIGHT && !ethereal(first) ? base + 1 : base;
    int count = initial;
    int lowest = min;
    RING_node_s* node = start;
    for (int i = 0; i < junction->count && node; ++i, node = node->next) {
        SPLIT_CHAIN_s* end = split_end_record(node);
        if (!end) continue;
        const int side = effective_side(end);
        if (side == 0 || ethereal(end)) {
            end->index = count;
        } else if (side == LEFT) {
            end->index = count++;
        } else if (side == RIGHT) {
            end->index = --count;
        } else {
            continue;
        }
        lowest = std::min(lowest, end->index);
    }
    if (consistent && junction->count > 1 && count != initial) *consistent = false;
    return lowest;
}

void CHAIN_clean_split_chains(RING_header_s* network) {
    if (!network) return;
    CHAIN__remove_unneeded_splitpoints(network);
    const std::vector<RING_node_s*> junctions = ring_nodes(network);
    // One level per consistent junction: the records of its lowest index.
    for (RING_node_s* junction : junctions) {
        RING_header_s* ends = RING_ask_node_subring(junction);
        bool consistent = true;
        const int lowest = ChainsNodeInterfIndex(ends, ends->first, 0, 0x7fffffff, &consistent);
        if (!consistent) continue;
        for (RING_node_s* node : ring_nodes(ends))
            if (split_end_record(node)->index != lowest) RING_delete_node(ends, node);
    }
    // Pieces with one end left lose it.
    std::vector<std::pair<RING_header_s*, RING_node_s*>> lone;
    for (RING_node_s* junction : junctions) {
        RING_header_s* ends = RING_ask_node_subring(junction);
        for (RING_node_s* node : ring_nodes(ends))
            if (!NextSplitChain(split_end_record(node), nullptr)) lone.emplace_back(ends, node);
    }
    for (auto& [ends, node] : lone) RING_delete_node(ends, node);
    CHAIN__remove_unneeded_splitpoints(network);
}
