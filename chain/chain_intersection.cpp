// Chain intersections and intersection-point lists.
#include <merrow1/chain_intersection.h>

#include <internal/flavour_intersections.h>
#include "chain/segment_box_pairs.h"
#include "chain/segment_internal.h"
#include <internal/scratch_pool.h>
#include <merrow1/chain.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_set.h>
#include <merrow1/segment.h>
#include <merrow1/segment_intersection.h>
#include <stend/system.h>
#include <velte/cerr.h>
#include <velte/cmem.h>

#include "chain/chain_record.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

// Chain boxes are widened by this much at both ends before they are compared.
const double kBoxSlack = 1e-8;
// Slack of the parameter check made at checking level 1 or more.
const double kParameterSlack = 1e-8;
// Default box axis.
const double kDefaultAxis[2] = {0.0, 1.0};
// Up to this many segment pairs a pair search tries every pair's boxes
// instead of sweeping them.
const size_t kDirectPairs = 256;
// From this many boxes on, a pair search sorts them into cells (grid_pairs)
// instead of sweeping them; below, building the cells costs more than the
// sweep saves.
const size_t kGridBoxes = 256;
// From this many places on, a search finds where a place goes in a sub-ring
// through an index by parameter instead of walking the sub-ring.
const int kIndexedPlaces = 32;

// The trace record tracing hangs on a vertex under key 1 (32 bytes).  Only
// the kind of corner that produced the vertex is read here.
struct TraceVertexRecord {
    double offset;
    int material_side;
    unsigned char dummy;
    unsigned char vertex_piece;
    unsigned char blank;
    unsigned char full_circle;
    unsigned char step_high;
    int step_sense;
    int corner_type;
};
// A vertex made at a smooth corner: the segments meeting there are not tested.
const int kTraceSmoothCorner = 5;

using merrow1::chains_of;
using merrow1::is_closed;
using merrow1::point_of;

// The nodes that end the chain's segments, segment i at index i - 1: the
// first vertex's successors to the last vertex and, on a closed chain, the
// first vertex (the end of the closing segment).  At most node-count nodes.
std::vector<RING_node_s*> segment_nodes(const RING_header_s* chain) {
    std::vector<RING_node_s*> nodes;
    if (!chain || !chain->first) return nodes;
    const bool closed = is_closed(chain);
    const int count = closed ? chain->count : chain->count - 1;
    RING_node_s* node = chain->first->next;
    for (int i = 0; i < count && node; ++i, node = node->next) nodes.push_back(node);
    return nodes;
}

// The sub-rings of an intersection-point list, at most node-count of them.
std::vector<RING_header_s*> sub_rings_of(const RING_header_s* list) {
    std::vector<RING_header_s*> subs;
    RING_node_s* node = list->first;
    for (int i = 0; i < list->count && node; ++i, node = node->next)
        if (RING_header_s* sub = RING_ask_node_subring(node)) subs.push_back(sub);
    return subs;
}

RING_header_s* find_sub_ring(const RING_header_s* list, const RING_header_s* chain) {
    for (RING_header_s* sub : sub_rings_of(list))
        if (sub->main_data == chain) return sub;
    return nullptr;
}

// The sub-rings of one intersection-point list by chain, kept beside the list
// while one search adds to it, so that a point finds its chain's sub-ring
// without a walk of the list.  Filled from the list when the search begins
// (the first sub-ring of a chain, as find_sub_ring answers); the search makes
// every further sub-ring through it and nothing else edits the list meanwhile.
class SubRings {
public:
    explicit SubRings(const RING_header_s* list) : m_list(list) {
        for (RING_header_s* sub : sub_rings_of(list)) m_by_chain.emplace(sub->main_data, sub);
    }
    SubRings(const SubRings&) = delete;
    SubRings& operator=(const SubRings&) = delete;
    const RING_header_s* list() const { return m_list; }
    RING_header_s* find(const RING_header_s* chain) const {
        const auto it = m_by_chain.find(chain);
        return it == m_by_chain.end() ? nullptr : it->second;
    }
    void add(RING_header_s* sub) { m_by_chain.emplace(sub->main_data, sub); }
    // The sub-rings a place went into since the last take_touched.
    void touch(RING_header_s* sub) { m_touched.insert(sub); }
    std::unordered_set<RING_header_s*> take_touched() { return std::move(m_touched); }

    // The places of a sub-ring by parameter (equal parameters in ring order),
    // filled from the sub-ring once it holds kIndexedPlaces places; null
    // before, or when its places do not ascend (then the insertion walks the
    // sub-ring).  Once filled, kept up to date by insert_point, the only
    // writer of the sub-rings while the index lives.
    using Places = std::multimap<double, RING_node_s*>;
    Places* places(const RING_header_s* sub) {
        auto it = m_places.find(sub);
        if (it == m_places.end()) {
            if (sub->count < kIndexedPlaces || m_walked.count(sub)) return nullptr;
            Places filled;
            bool ascending = true;
            RING_node_s* node = sub->first;
            for (int k = 0; k < sub->count && node && ascending; ++k, node = node->next) {
                const auto* place = static_cast<const POINT_ON_CHAIN_s*>(node->main_data);
                if (!place) continue;
                ascending = !std::isnan(place->parameter) &&
                            (filled.empty() || std::prev(filled.end())->first <= place->parameter);
                filled.emplace_hint(filled.end(), place->parameter, node);
            }
            if (!ascending) {
                m_walked.insert(sub);
                return nullptr;
            }
            it = m_places.emplace(sub, std::move(filled)).first;
        }
        return &it->second;
    }

private:
    const RING_header_s* m_list;
    std::unordered_map<const void*, RING_header_s*> m_by_chain;
    std::unordered_map<const RING_header_s*, Places> m_places;
    std::unordered_set<const RING_header_s*> m_walked;
    std::unordered_set<RING_header_s*> m_touched;
};

// The chain's sub-ring through the index when the search keeps one for this
// list, else by a walk of the list.
RING_header_s* sub_ring_of(const RING_header_s* list, const RING_header_s* chain, const SubRings* index) {
    return index && index->list() == list ? index->find(chain) : find_sub_ring(list, chain);
}

// The point copies belong to their sub-ring.
int delete_point_copy(RING_header_s*, RING_node_s* node) {
    CMEM_private_delete_object(node->main_data);
    node->main_data = nullptr;
    return 1;
}

void make_circular(RING_header_s* sub) {
    if (!sub || !sub->first) return;
    sub->last->next = sub->first;
    sub->first->previous = sub->last;
}

// Makes the sub-ring of every closed chain circular.
void close_sub_rings(const RING_header_s* list) {
    for (RING_header_s* sub : sub_rings_of(list))
        if (is_closed(static_cast<const RING_header_s*>(sub->main_data))) make_circular(sub);
}

// Box of the chain along the axis without touching its cached box; false for
// a chain without segments.
bool scratch_box(const RING_header_s* chain, const double axis[2], CHAIN_BOX_s* box) {
    const Korvo::Math::Vector2 dir = {axis[0], axis[1]};
    bool found = false;
    for (RING_node_s* node : segment_nodes(chain)) {
        SEGMENT segment;
        if (!ChainSegment(chain, node, &segment)) continue;
        BOX2_t b;
        SEGMENT_calc_max_min_box(&segment, &dir, &b);
        if (!found) {
            *box = {{axis[0], axis[1]}, b.min_along, b.max_along, b.min_normal, b.max_normal};
            found = true;
            continue;
        }
        box->min_along = std::fmin(box->min_along, b.min_along);
        box->max_along = std::fmax(box->max_along, b.max_along);
        box->min_normal = std::fmin(box->min_normal, b.min_normal);
        box->max_normal = std::fmax(box->max_normal, b.max_normal);
    }
    return found;
}

// Box of the chain along the axis: recomputed into its cache when `cache`,
// else in scratch.
bool chain_box_along(RING_header_s* chain, const double axis[2], bool cache, CHAIN_BOX_s* box) {
    if (!chain || chain->count < 2) return false;
    return cache ? ChainBox(chain, axis, box) == 1 : scratch_box(chain, axis, box);
}

// Intervals [a0, a1] and [b0, b1] lie apart when none of the four end values
// lies strictly inside the other interval widened by the box slack.
bool intervals_apart(double a0, double a1, double b0, double b1) {
    auto inside = [](double v, double lo, double hi) { return v > lo - kBoxSlack && v < hi + kBoxSlack; };
    return !(inside(a0, b0, b1) || inside(a1, b0, b1) || inside(b0, a0, a1) || inside(b1, a0, a1));
}

// Boxes along one axis overlap unless they lie apart on the axis or on its normal.
bool boxes_overlap(const CHAIN_BOX_s& a, const CHAIN_BOX_s& b) {
    return !intervals_apart(a.min_along, a.max_along, b.min_along, b.max_along) &&
           !intervals_apart(a.min_normal, a.max_normal, b.min_normal, b.max_normal);
}

int trace_corner_kind(const RING_node_s* vertex) {
    const auto* record = static_cast<const TraceVertexRecord*>(
        APP_DATA__ask_app_data(vertex->app_data, CHAIN_APP_DATA_TRACE_VERTEX));
    return record ? record->corner_type : -1;
}

// At checking level 1 or more: the parameter of an entered place inside a
// segment must agree with the one its position along the chain gives.
void check_parameter(const POINT_ON_CHAIN_s& place, int i, int j, int which) {
    if (MACH__checking_level < 1) return;
    if (place.parameter == std::floor(place.parameter)) return;
    POINT_ON_CHAIN_s again;
    if (!PointOnChainCreate(place.chain, place.node, 0, place.point, &again)) return;
    if (std::fabs(again.parameter - place.parameter) <= kParameterSlack) return;
    char label[50];
    std::snprintf(label, sizeof label, "ChainSegmentInt: (%d, %d) chain%d", i, j, which);
    CHAIN_debug_report(3, label, place.chain, place.node);
}

// InsertIntersectionPoint, LoadChainEdges and ChainSegmentInt with the
// search's index of sub-rings (null: none).
int insert_point(const POINT_ON_CHAIN_s* point, RING_header_s* list, SubRings* index);
int load_edges(RING_header_s* chain, RING_header_s* list, SubRings* index);
// With boxes_met the pair's boxes are known not to lie apart (a pair of
// segment_pairs below checking level 1) and are not worked out again.
int segment_pair(RING_header_s* chain_a, RING_header_s* chain_b, int i, int j, RING_node_s* a, RING_node_s* b,
                 RING_header_s* list, double tolerance, SubRings* index, bool boxes_met = false);

// Enters the place at fraction t of segment k (ending at node) of the chain.
void enter(RING_header_s* chain, RING_node_s* node, int k, double t, const double point[2], RING_header_s* list,
           int i, int j, int which, SubRings* index) {
    POINT_ON_CHAIN_s place;
    PointOnChainCreate1(chain, node, k, t, point, &place);
    insert_point(&place, list, index);
    check_parameter(place, i, j, which);
}

bool location_on(const SEGMENT& segment, const double point[2], double tolerance) {
    const LOCATION where = SegmentPointLocationOn(&segment, point, tolerance);
    return where == 2 || where == 3 || where == 4;
}

// ---------------------------------------------------------------------------
// Pair searches by boxes.  A pair of segments whose boxes lie apart by
// SEGMENT_boxes_apart gives SEGMENT_intersect_on nothing, and ChainSegmentInt
// then enters nothing; a pair of chains whose boxes lie apart is not searched.
// The searches below try only the pairs whose boxes meet, in the order of the
// loops over all pairs, so the list receives the same points in the same
// order.

using Pairs = std::vector<std::pair<int, int>>;

// Index pairs (i of a, j of b) of the boxes `use` admits that `meet`, sorted;
// with b null the pairs within a, i < j.  A sweep takes the boxes by
// `low(box)`, their start across the axis, and drops an active box for good
// once `behind(active, current)` holds, which must then hold for every later
// box as well; the boxes `loose` picks (whose order across the axis says
// nothing) are tried against every box.  `meet` is symmetric.
template <class Box, class Low, class Loose, class Behind, class Meet>
Pairs sweep_pairs(const std::vector<Box>& a, const std::vector<char>& use_a, const std::vector<Box>* b,
                  const std::vector<char>* use_b, Low low, Loose loose, Behind behind, Meet meet) {
    struct Item {
        double low;
        int side;
        int index;
    };
    const bool single = b == nullptr;
    std::vector<Item> items, loose_items;
    auto gather = [&](const std::vector<Box>& boxes, const std::vector<char>& use, int side) {
        for (size_t k = 0; k < boxes.size(); ++k)
            if (use[k]) (loose(boxes[k]) ? loose_items : items).push_back({low(boxes[k]), side, int(k)});
    };
    gather(a, use_a, 0);
    if (!single) gather(*b, *use_b, 1);
    auto box = [&](const Item& item) -> const Box& { return item.side == 0 ? a[item.index] : (*b)[item.index]; };
    Pairs pairs;
    auto pair = [&](const Item& x, const Item& y) {
        if (single) {
            if (x.index != y.index) pairs.emplace_back(std::min(x.index, y.index), std::max(x.index, y.index));
        } else if (x.side != y.side) {
            pairs.emplace_back(x.side == 0 ? x.index : y.index, x.side == 0 ? y.index : x.index);
        }
    };
    std::stable_sort(items.begin(), items.end(), [](const Item& x, const Item& y) { return x.low < y.low; });
    std::vector<Item> active[2];
    for (const Item& item : items) {
        std::vector<Item>& others = active[single ? 0 : 1 - item.side];
        size_t kept = 0;
        for (const Item& other : others) {
            if (behind(box(other), box(item))) continue;
            others[kept++] = other;
            if (meet(box(other), box(item))) pair(other, item);
        }
        others.resize(kept);
        active[single ? 0 : item.side].push_back(item);
    }
    for (size_t x = 0; x < loose_items.size(); ++x) {
        for (const Item& item : items)
            if (meet(box(loose_items[x]), box(item))) pair(loose_items[x], item);
        for (size_t y = single ? x + 1 : 0; y < loose_items.size(); ++y)
            if (meet(box(loose_items[x]), box(loose_items[y]))) pair(loose_items[x], loose_items[y]);
    }
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

// The segments of a chain for the pair searches: the nodes that end them
// (segment i at index i - 1) and, below checking level 1, the box
// SEGMENT_intersect_on computes of each readable one.
struct SegmentBoxes {
    std::vector<RING_node_s*> nodes;
    std::vector<BOX2_t> boxes;
    std::vector<char> readable;
};

// At checking level 1 or more every pair of segments is tried, so that each
// pair's consistency checks report as they do for any pair.
bool every_pair() { return MACH__checking_level >= 1; }

SegmentBoxes segment_boxes(const RING_header_s* chain) {
    SegmentBoxes s;
    s.nodes = segment_nodes(chain);
    if (every_pair()) return s;
    s.boxes.resize(s.nodes.size());
    s.readable.assign(s.nodes.size(), 0);
    for (size_t k = 0; k < s.nodes.size(); ++k) {
        SEGMENT segment;
        if (ChainSegment(chain, s.nodes[k], &segment) != 1) continue;
        SEGMENT_calc_max_min_box(&segment, nullptr, &s.boxes[k]);
        s.readable[k] = 1;
    }
    return s;
}

// The pairs segment_pairs sweeps for, found through a uniform grid of square
// cells instead: a sweep across one axis keeps every box whose extent across
// it covers the current one active, and boxes that lie side by side along
// the other axis (the pieces round a star, about a centre) keep about as many
// active as there are boxes, so that it tries nearly all pairs.  Each box,
// widened by SEGMENT_BOX_WIDENING as SEGMENT_boxes_apart widens it, is entered
// in every cell it covers.  Two boxes that SEGMENT_boxes_apart does not set
// apart have widened extents that overlap along both axes; the cell of a
// coordinate is a non-decreasing function of it, so both boxes are in the
// cell of the larger of their lower corners along each axis, and the pair is
// taken there and only there.  A box with a coordinate that is not finite has
// no cell and is tried against every box, as the sweep tries its loose boxes.
// Null (the sweep is to run) when the boxes would cover too many cells.
std::optional<Pairs> grid_pairs(const SegmentBoxes& a, const SegmentBoxes* b) {
    struct Item {
        double lo[2], hi[2];  // widened extents along x (normal) and y (along)
        int side, index;
        int first[2], last[2];  // the cells covered, along x and y
    };
    const double w = SEGMENT_BOX_WIDENING;
    const bool single = b == nullptr;
    std::vector<Item> items, loose_items;
    auto gather = [&](const SegmentBoxes& s, int side) {
        for (size_t k = 0; k < s.boxes.size(); ++k) {
            if (!s.readable[k]) continue;
            const BOX2_t& box = s.boxes[k];
            Item item{{box.min_normal - w, box.min_along - w}, {box.max_normal + w, box.max_along + w}, side,
                      int(k), {0, 0}, {0, 0}};
            const bool finite = std::isfinite(item.lo[0]) && std::isfinite(item.lo[1]) &&
                                std::isfinite(item.hi[0]) && std::isfinite(item.hi[1]);
            (finite ? items : loose_items).push_back(item);
        }
    };
    gather(a, 0);
    if (!single) gather(*b, 1);
    auto box = [&](const Item& item) -> const BOX2_t& { return (item.side == 0 ? a : *b).boxes[item.index]; };
    Pairs pairs;
    auto pair = [&](const Item& x, const Item& y) {
        if (SEGMENT_boxes_apart(&box(x), &box(y))) return;
        if (single)
            pairs.emplace_back(std::min(x.index, y.index), std::max(x.index, y.index));
        else if (x.side != y.side)
            pairs.emplace_back(x.side == 0 ? x.index : y.index, x.side == 0 ? y.index : x.index);
    };
    if (!items.empty()) {
        // The cell side: the boxes' mean size, made larger when the cells
        // would outnumber four per box along both axes or in all.
        double origin[2] = {items[0].lo[0], items[0].lo[1]}, top[2] = {items[0].hi[0], items[0].hi[1]};
        double sizes = 0.0;
        for (const Item& item : items) {
            for (int axis = 0; axis < 2; ++axis) {
                origin[axis] = std::min(origin[axis], item.lo[axis]);
                top[axis] = std::max(top[axis], item.hi[axis]);
            }
            sizes += std::max(item.hi[0] - item.lo[0], item.hi[1] - item.lo[1]);
        }
        const double count = double(items.size());
        const double width = top[0] - origin[0], height = top[1] - origin[1];
        const double side = std::max({sizes / count, width / (4.0 * count), height / (4.0 * count),
                                      std::sqrt(width / (4.0 * count) * height)});
        if (!(side > 0.0) || !std::isfinite(side)) return std::nullopt;
        const double per_side = 1.0 / side;
        const int cells_x = int(width * per_side) + 1, cells_y = int(height * per_side) + 1;
        auto cell = [&](double v, int axis, int cells) {
            return std::min(cells - 1, std::max(0, int(std::floor((v - origin[axis]) * per_side))));
        };
        // Too many entries for the boxes (many boxes much longer than the
        // mean): the sweep does better.
        long long entries = 0;
        for (Item& item : items) {
            item.first[0] = cell(item.lo[0], 0, cells_x);
            item.last[0] = cell(item.hi[0], 0, cells_x);
            item.first[1] = cell(item.lo[1], 1, cells_y);
            item.last[1] = cell(item.hi[1], 1, cells_y);
            entries += (long long)(item.last[0] - item.first[0] + 1) * (item.last[1] - item.first[1] + 1);
        }
        if (entries > 16 * (long long)items.size() + 1024) return std::nullopt;
        // The cells' entries, cell by cell.
        std::vector<int> start(size_t(cells_x) * size_t(cells_y) + 1, 0);
        for (const Item& item : items)
            for (int y = item.first[1]; y <= item.last[1]; ++y)
                for (int x = item.first[0]; x <= item.last[0]; ++x) ++start[size_t(y) * cells_x + x + 1];
        for (size_t c = 1; c < start.size(); ++c) start[c] += start[c - 1];
        std::vector<int> members(static_cast<size_t>(entries));
        std::vector<int> filled(start.begin(), start.end() - 1);
        for (size_t k = 0; k < items.size(); ++k)
            for (int y = items[k].first[1]; y <= items[k].last[1]; ++y)
                for (int x = items[k].first[0]; x <= items[k].last[0]; ++x)
                    members[size_t(filled[size_t(y) * cells_x + x]++)] = int(k);
        for (int y = 0; y < cells_y; ++y)
            for (int x = 0; x < cells_x; ++x) {
                const size_t c = size_t(y) * cells_x + x;
                for (int i = start[c]; i < start[c + 1]; ++i) {
                    const Item& p = items[size_t(members[size_t(i)])];
                    for (int j = i + 1; j < start[c + 1]; ++j) {
                        const Item& q = items[size_t(members[size_t(j)])];
                        if (!single && p.side == q.side) continue;
                        if (std::max(p.first[0], q.first[0]) != x || std::max(p.first[1], q.first[1]) != y) continue;
                        pair(p, q);
                    }
                }
            }
    }
    for (size_t x = 0; x < loose_items.size(); ++x) {
        for (const Item& item : items) pair(loose_items[x], item);
        for (size_t y = single ? x + 1 : 0; y < loose_items.size(); ++y) pair(loose_items[x], loose_items[y]);
    }
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

// The segment pairs (i of a, j of b; with b null i < j within a) that can
// meet, sorted: every pair at checking level 1 or more, else the pairs of
// readable segments whose boxes do not lie apart.  Many boxes go through
// grid_pairs; fewer, or when it declines, the sweep runs across the default
// axis (the boxes' normal extent).
Pairs segment_pairs(const SegmentBoxes& a, const SegmentBoxes* b) {
    if (every_pair()) {
        Pairs pairs;
        const size_t nb = b ? b->nodes.size() : a.nodes.size();
        for (size_t i = 0; i < a.nodes.size(); ++i)
            for (size_t j = b ? 0 : i + 1; j < nb; ++j) pairs.emplace_back(int(i), int(j));
        return pairs;
    }
    // Few pairs: tried directly, which gives them sorted.
    const size_t na = a.boxes.size(), nb = b ? b->boxes.size() : na;
    if (na * nb <= kDirectPairs) {
        Pairs pairs;
        for (size_t i = 0; i < na; ++i) {
            if (!a.readable[i]) continue;
            for (size_t j = b ? 0 : i + 1; j < nb; ++j)
                if ((b ? b->readable[j] : a.readable[j]) &&
                    !SEGMENT_boxes_apart(&a.boxes[i], b ? &b->boxes[j] : &a.boxes[j]))
                    pairs.emplace_back(int(i), int(j));
        }
        return pairs;
    }
    if (na + (b ? nb : 0) >= kGridBoxes)
        if (std::optional<Pairs> pairs = grid_pairs(a, b)) return std::move(*pairs);
    const double w = SEGMENT_BOX_WIDENING;
    return sweep_pairs(
        a.boxes, a.readable, b ? &b->boxes : nullptr, b ? &b->readable : nullptr,
        [](const BOX2_t& box) { return box.min_normal; },
        [](const BOX2_t& box) { return std::isnan(box.min_normal); },
        [w](const BOX2_t& q, const BOX2_t& e) { return q.max_normal + w < e.min_normal - w; },
        [](const BOX2_t& p, const BOX2_t& q) { return !SEGMENT_boxes_apart(&p, &q); });
}

// The chain pairs c < d whose boxes overlap (boxes_overlap), sorted.  An
// active box is behind once its normal extent ends at least the box slack
// before the current one starts, on both sides of the slack's rounding: for
// boxes of ordered extents no end value then lies inside the other extent
// widened by the slack, for this box or any later one.
Pairs chain_pairs(const std::vector<CHAIN_BOX_s>& boxes, const std::vector<char>& boxed) {
    return sweep_pairs(
        boxes, boxed, static_cast<const std::vector<CHAIN_BOX_s>*>(nullptr), nullptr,
        [](const CHAIN_BOX_s& box) { return box.min_normal; },
        [](const CHAIN_BOX_s& box) {
            return !(box.min_normal <= box.max_normal) || !(box.min_along <= box.max_along);
        },
        [](const CHAIN_BOX_s& q, const CHAIN_BOX_s& e) {
            return q.max_normal <= e.min_normal - kBoxSlack && q.max_normal + kBoxSlack <= e.min_normal;
        },
        [](const CHAIN_BOX_s& p, const CHAIN_BOX_s& q) { return boxes_overlap(p, q); });
}

// Runs the pairs of segment i of chain A: `pairs` sorted, `at` the first pair
// not yet run; the pairs (i, j) run in order and `at` moves past them.
void run_pairs_of(RING_header_s* chain_a, RING_header_s* chain_b, const SegmentBoxes& a, const SegmentBoxes& b,
                  const Pairs& pairs, size_t& at, int i, RING_header_s* list, double tolerance, SubRings* index) {
    for (; at < pairs.size() && pairs[at].first == i; ++at) {
        const int j = pairs[at].second;
        segment_pair(chain_a, chain_b, i + 1, j + 1, a.nodes[i], b.nodes[j], list, tolerance, index, !every_pair());
    }
}

// Parts of the chains-of-a-set search.
enum class EndPoints { WhileFirstSegment, BeforeSearch, AfterSearchIfTouched };

// The search of ChainsIntersection and ChainsIntersectionBetween.
//  1. Chains of fewer than two vertices are passed over.
//  2. In the ChainsIntersection form every chain's end points are entered
//     first, in chain order (so the sub-rings come in chain order, each
//     with its ends before its other points); every chain gets its box
//     along (0, 1), cached.
//  3. Each chain runs, for each of its segments, its own pairs i < j (when
//     asked) and then its pairs with every later chain whose box overlaps,
//     by later chain and segment; only pairs whose segment boxes meet are
//     tried.
//  4. The sub-rings of closed chains are closed and a copy of the set's box
//     hangs on the list.
int chains_search(RING_header_s* set, RING_header_s* list, bool own_pairs, EndPoints ends) {
    if (!set || !list) return 0;
    std::vector<RING_header_s*> chains;
    for (RING_header_s* chain : chains_of(set))
        if (chain->count >= 2) chains.push_back(chain);
    const size_t n = chains.size();
    SubRings index(list);
    if (ends != EndPoints::AfterSearchIfTouched)
        for (RING_header_s* chain : chains) load_edges(chain, list, &index);

    std::vector<CHAIN_BOX_s> boxes(n);
    std::vector<char> boxed(n, 0);
    for (size_t c = 0; c < n; ++c) boxed[c] = chain_box_along(chains[c], kDefaultAxis, true, &boxes[c]) ? 1 : 0;
    const Pairs overlapping = chain_pairs(boxes, boxed);
    std::vector<SegmentBoxes> segments(n);
    for (size_t c = 0; c < n; ++c) segments[c] = segment_boxes(chains[c]);

    size_t next = 0;  // first pair of `overlapping` of a chain not yet searched
    for (size_t c = 0; c < n; ++c) {
        RING_header_s* chain = chains[c];
        std::vector<size_t> later;
        for (; next < overlapping.size() && overlapping[next].first == int(c); ++next)
            later.push_back(size_t(overlapping[next].second));
        const Pairs own = own_pairs ? segment_pairs(segments[c], nullptr) : Pairs();
        std::vector<Pairs> cross(later.size());
        for (size_t k = 0; k < later.size(); ++k) cross[k] = segment_pairs(segments[c], &segments[later[k]]);
        size_t own_at = 0;
        std::vector<size_t> cross_at(later.size(), 0);
        for (size_t i = 0; i < segments[c].nodes.size(); ++i) {
            run_pairs_of(chain, chain, segments[c], segments[c], own, own_at, int(i), list,
                         CHAIN_INTERSECTION_TOLERANCE, &index);
            for (size_t k = 0; k < later.size(); ++k)
                run_pairs_of(chain, chains[later[k]], segments[c], segments[later[k]], cross[k], cross_at[k], int(i),
                             list, CHAIN_INTERSECTION_TOLERANCE, &index);
        }
    }
    if (ends == EndPoints::AfterSearchIfTouched)
        for (RING_header_s* chain : chains)
            if (index.find(chain)) load_edges(chain, list, &index);
    close_sub_rings(list);

    // The box of the whole set, copied onto the list in the list's pool.
    CHAIN_BOX_s total;
    if (ChainsBox(set, nullptr, &total)) {
        auto* record = static_cast<CHAIN_BOX_s*>(APP_DATA__ask_app_data(list->app_data, CHAIN_BOX_APP_DATA_KEY));
        if (!record) {
            record = CMEM_NEW(list->pool, CHAIN_BOX_s);
            if (record) RING_put_header_app_data(list, CHAIN_BOX_APP_DATA_KEY, record);
        }
        if (record) *record = total;
    }
    return 1;
}

// Number of places on the chain's sub-ring.
int points_on(const RING_header_s* list, const RING_header_s* chain) {
    const RING_header_s* sub = find_sub_ring(list, chain);
    return sub ? sub->count : 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Intersection-point lists

namespace {

int insert_point(const POINT_ON_CHAIN_s* point, RING_header_s* list, SubRings* index) {
    if (!point || !list) return 0;
    // 1. A user abort ends the search here.
    CERR_raise_on_abort();
    // 2. The chain's sub-ring, made as a new last node when it has none.
    RING_header_s* sub = sub_ring_of(list, point->chain, index);
    if (!sub) {
        sub = RING_create_in_pool(point->chain, RING_TYPE_CHAIN, list->pool);
        if (!sub) return 0;
        RING_set_node_main_data_delfunc(sub, delete_point_copy);
        if (!RING_insert_after(list, list->last, sub)) {
            RING_delete(sub);
            return 0;
        }
        if (index && index->list() == list) index->add(sub);
    }
    // 3. With the search's index: the places at or above the parameter that
    //    can be equal (parameters within the slack) and the last one below,
    //    which is the insertion place.  The same places as the walk below
    //    finds: every other place at or above the parameter lies beyond the
    //    slack.
    if (SubRings::Places* places = index && index->list() == list && !std::isnan(point->parameter)
                                       ? index->places(sub)
                                       : nullptr) {
        const auto above = places->lower_bound(point->parameter);
        for (auto it = above; it != places->end() && it->first - point->parameter <= POINT_ON_CHAIN_PARAMETER_SLACK;
             ++it)
            if (PointOnChainEq(static_cast<const POINT_ON_CHAIN_s*>(it->second->main_data), point)) return 1;
        RING_node_s* after = above == places->begin() ? nullptr : std::prev(above)->second;
        if (after && PointOnChainEq(static_cast<const POINT_ON_CHAIN_s*>(after->main_data), point)) return 1;
        POINT_ON_CHAIN_s* copy = CMEM_NEW(list->pool, POINT_ON_CHAIN_s);
        if (!copy) return 0;
        *copy = *point;
        RING_node_s* node = RING_insert_after(sub, after, copy);
        if (!node)
            CMEM_private_delete_object(copy);
        else
            places->emplace_hint(above, point->parameter, node);
        index->touch(sub);
        return 1;
    }
    // 4. Backwards from the last place: an equal place ends the call; the
    //    first place of lower parameter is the insertion place.  The walk is
    //    bounded by the node count (the sub-ring may be circular).
    RING_node_s* after = nullptr;
    RING_node_s* node = sub->last;
    for (int k = 0; k < sub->count && node; ++k, node = node->previous) {
        const auto* existing = static_cast<const POINT_ON_CHAIN_s*>(node->main_data);
        if (!existing) continue;
        if (PointOnChainEq(existing, point)) return 1;
        if (existing->parameter < point->parameter) {
            after = node;
            break;
        }
    }
    POINT_ON_CHAIN_s* copy = CMEM_NEW(list->pool, POINT_ON_CHAIN_s);
    if (!copy) return 0;
    *copy = *point;
    if (!RING_insert_after(sub, after, copy)) CMEM_private_delete_object(copy);
    if (index && index->list() == list) index->touch(sub);
    return 1;
}

int load_edges(RING_header_s* chain, RING_header_s* list, SubRings* index) {
    if (!chain || !list || !chain->first) return 0;
    POINT_ON_CHAIN_s place = {};
    place.chain = chain;
    place.node = chain->first;
    if (const double* p = point_of(chain->first)) {
        place.point[0] = p[0];
        place.point[1] = p[1];
    }
    insert_point(&place, list, index);
    if (is_closed(chain)) return 1;
    place.node = chain->last;
    place.parameter = chain->count - 1;
    if (const double* p = point_of(chain->last)) {
        place.point[0] = p[0];
        place.point[1] = p[1];
    }
    insert_point(&place, list, index);
    return 1;
}

// The segment of the chain that meets the segment ending at `node` at its
// start (k 0) or its end (k 1); false where the chain is open and has none.
bool neighbour_segment(const RING_header_s* chain, const RING_node_s* node, int k, SEGMENT* out) {
    const bool closed = is_closed(chain);
    const RING_node_s* other = nullptr;
    if (k == 0) {
        if (!closed && (node == chain->first || node->previous == chain->first)) return false;
        other = node == chain->first ? chain->last : node->previous;
    } else {
        if (!closed && node == chain->last) return false;
        other = node == chain->last ? chain->first : node->next;
    }
    return other && other != node && ChainSegment(chain, other, out) == 1;
}

// Whether the segment of `chain` beyond the end k of the segment ending at
// `node` runs together with `other` within the tolerance: the end is then an
// end of a stretch the two chains share.
bool ends_a_stretch(const RING_header_s* chain, const RING_node_s* node, int k, const SEGMENT& other,
                    double tolerance) {
    SEGMENT next;
    if (!neighbour_segment(chain, node, k, &next)) return false;
    INT_POINT found;
    return SEGMENT__intersect_on_within(&next, &other, tolerance, &found, false) == -1;
}

// A crossing of two chains' segments where an end of one segment lies on the
// other within the tolerance, the segment beyond that end runs together with
// the other (the end ends a stretch the two chains share), and the segment
// from the end to the crossing (its middle, read as the whole) stays within
// the tolerance of the other: the two run together from the end to the
// crossing, as one stretch, so the crossing is read at the end, the junction
// of the stretch, where the end's segments meet the other segment as well.
// Read at its own point instead, it is a second junction a little beyond the
// first, and the segment from the end, taken at the first junction as leaving
// a point of the other segment on the side it turns to, crosses back over it
// at the second: both junctions order the two pieces between them the same
// way round, a face no level fits.  Of two such ends the nearer to the
// crossing is taken; the point becomes that end, the parameters its own on
// both segments.
void snap_to_end(const RING_header_s* chain_a, const RING_header_s* chain_b, const RING_node_s* a,
                 const RING_node_s* b, const SEGMENT& sa, const SEGMENT& sb, double tolerance, double point[2],
                 double* ta, double* tb) {
    const double crossing[2] = {point[0], point[1]};
    const double a_ends[2][2] = {{sa.start[0], sa.start[1]}, {sa.end->x, sa.end->y}};
    const double b_ends[2][2] = {{sb.start[0], sb.start[1]}, {sb.end->x, sb.end->y}};
    double best = -1;
    for (int which = 0; which < 2; ++which) {
        const SEGMENT& own = which == 0 ? sa : sb;
        const SEGMENT& other = which == 0 ? sb : sa;
        const double t = which == 0 ? *ta : *tb;
        for (int k = 0; k < 2; ++k) {
            const double* end = which == 0 ? a_ends[k] : b_ends[k];
            if (!location_on(other, end, tolerance)) continue;
            if (!ends_a_stretch(which == 0 ? chain_a : chain_b, which == 0 ? a : b, k, other, tolerance)) continue;
            double middle[2];
            if (!SegmentParamPoint(&own, (t + k) / 2, middle)) continue;
            double foot[2];
            if (SegmentPointMinDist(&other, middle, foot) > tolerance) continue;
            const double dx = end[0] - crossing[0], dy = end[1] - crossing[1];
            const double d = dx * dx + dy * dy;
            if (best >= 0 && d >= best) continue;
            best = d;
            point[0] = end[0];
            point[1] = end[1];
            if (which == 0) {
                *ta = k;
                *tb = SegmentPointParameter(&sb, end);
            } else {
                *tb = k;
                *ta = SegmentPointParameter(&sa, end);
            }
        }
    }
}

int segment_pair(RING_header_s* chain_a, RING_header_s* chain_b, int i, int j, RING_node_s* a, RING_node_s* b,
                 RING_header_s* list, double tolerance, SubRings* index, bool boxes_met) {
    if (!chain_a || !chain_b || !a || !b || !list) return 0;
    // 1. Within one chain: a segment is not tested against itself, and two
    //    neighbours not at a smooth joint or a turning corner of two lines.
    const bool same = chain_a == chain_b;
    bool adjacent = false;
    if (same) {
        if (a == b) return 1;
        adjacent = a->next == b || b->next == a;
        if (adjacent) {
            const RING_node_s* joint = a->next == b ? a : b;
            if (trace_corner_kind(joint) == kTraceSmoothCorner) return 1;
            const CORNER_TYPE corner = ChainCornerType(chain_a, joint);
            if (corner == CORNER_TYPE_SMOOTH) return 1;
            if (CHAIN_seg_ask_type(a) == SEG_LINE && CHAIN_seg_ask_type(b) == SEG_LINE && corner != CORNER_TYPE_NONE)
                return 1;
        }
    }
    // 2. Both segments.
    SEGMENT sa, sb;
    if (ChainSegment(chain_a, a, &sa) != 1 || ChainSegment(chain_b, b, &sb) != 1) return 1;
    // 3. Their intersections.  Segments of two chains run together, touch
    //    or lie on one centre within the tolerance within which their points
    //    are one; within one chain, within the host length tolerance, so
    //    that a chain's own near touch below it (a fish tail at a sharp
    //    vertex) stays a touch.
    INT_POINT found;
    const SEGMENT_intersections_t result =
        !same       ? SEGMENT__intersect_on_within(&sa, &sb, tolerance, &found, boxes_met)
        : boxes_met ? SEGMENT_intersect_on_boxes_met(&sa, &sb, tolerance, &found)
                    : SEGMENT_intersect_on(&sa, &sb, tolerance, &found);

    // 4. Overlapping pieces of different chains: the ends of the overlap are
    //    the ends of either segment that lie on the other.  The ends of both
    //    segments are tried, so an overlap that begins at the start of an
    //    open chain is entered as well as one that ends at a vertex.
    if (result == -1) {
        if (same) return 1;
        const double a_end[2] = {sa.end->x, sa.end->y};
        const double b_end[2] = {sb.end->x, sb.end->y};
        const double a_start[2] = {sa.start[0], sa.start[1]};
        const double b_start[2] = {sb.start[0], sb.start[1]};
        if (location_on(sb, a_end, tolerance)) {
            enter(chain_a, a, i, 1.0, a_end, list, i, j, 1, index);
            enter(chain_b, b, j, SegmentPointParameter(&sb, a_end), a_end, list, i, j, 2, index);
        }
        if (location_on(sa, b_end, tolerance)) {
            enter(chain_b, b, j, 1.0, b_end, list, i, j, 2, index);
            enter(chain_a, a, i, SegmentPointParameter(&sa, b_end), b_end, list, i, j, 1, index);
        }
        if (location_on(sb, a_start, tolerance)) {
            enter(chain_a, a, i, 0.0, a_start, list, i, j, 1, index);
            enter(chain_b, b, j, SegmentPointParameter(&sb, a_start), a_start, list, i, j, 2, index);
        }
        if (location_on(sa, b_start, tolerance)) {
            enter(chain_b, b, j, 0.0, b_start, list, i, j, 2, index);
            enter(chain_a, a, i, SegmentPointParameter(&sa, b_start), b_start, list, i, j, 1, index);
        }
        return 1;
    }

    // 5. Each point, on A and then on B.  Neighbours within one chain never
    //    enter their joint: a single point is the joint, and of two points the
    //    one at the end of one and the start of the other is.
    for (int k = 0; k < result && k < 2; ++k) {
        const INT_POINT_entry_s& entry = found.point[k];
        const double ta = entry.param1, tb = entry.param2;
        if (adjacent) {
            if (result == 1) continue;
            if ((ta == 1.0 && tb == 0.0) || (ta == 0.0 && tb == 1.0)) continue;
        }
        // A parameter of exactly 0 or 1 takes that segment end exactly, and
        // the other segment the parameter of that end on it, as an overlap's
        // ends are entered: one point of a chain found by two pairs of
        // segments is then one place, not two places a parameter's rounding
        // apart.
        double point[2] = {entry.x, entry.y};
        const double* exact = nullptr;
        double at_a = ta, at_b = tb;
        if (ta == 0.0 || ta == 1.0) {
            exact = ta == 0.0 ? sa.start : &sa.end->x;
            if (!same) at_b = SegmentPointParameter(&sb, exact);
        } else if (tb == 0.0 || tb == 1.0) {
            exact = tb == 0.0 ? sb.start : &sb.end->x;
            if (!same) at_a = SegmentPointParameter(&sa, exact);
        }
        if (exact) {
            point[0] = exact[0];
            point[1] = exact[1];
        }
        if (!same && !exact) snap_to_end(chain_a, chain_b, a, b, sa, sb, tolerance, point, &at_a, &at_b);
        enter(chain_a, a, i, at_a, point, list, i, j, 1, index);
        enter(chain_b, b, j, at_b, point, list, i, j, 2, index);
    }
    return 1;
}

}  // namespace

int InsertIntersectionPoint(const POINT_ON_CHAIN_s* point, RING_header_s* list) {
    return insert_point(point, list, nullptr);
}

int LoadChainEdges(RING_header_s* chain, RING_header_s* list) { return load_edges(chain, list, nullptr); }

int ChainSegmentInt(RING_header_s* chain_a, RING_header_s* chain_b, int i, int j, RING_node_s* a, RING_node_s* b,
                    RING_header_s* list, double tolerance) {
    return segment_pair(chain_a, chain_b, i, j, a, b, list, tolerance, nullptr);
}

std::vector<std::pair<int, int>> merrow1::segment_box_pairs(const std::vector<SEGMENT>& segments,
                                                            const std::vector<bool>& readable) {
    Pairs pairs;
    const size_t n = segments.size();
    if (every_pair()) {
        for (size_t i = 0; i < n; ++i)
            for (size_t j = i + 1; j < n; ++j)
                if (readable[i] && readable[j]) pairs.emplace_back(int(i), int(j));
        return pairs;
    }
    SegmentBoxes boxes;
    boxes.boxes.resize(n);
    boxes.readable.assign(n, 0);
    for (size_t k = 0; k < n; ++k) {
        if (!readable[k]) continue;
        SEGMENT_calc_max_min_box(&segments[k], nullptr, &boxes.boxes[k]);
        boxes.readable[k] = 1;
    }
    return segment_pairs(boxes, nullptr);
}

// ---------------------------------------------------------------------------
// Chains against chains

namespace {

// The chains of a list with their boxes along the default axis, each taken
// as the search below takes it (refreshing the cache of a chain that has a
// cached box, else in scratch).
struct ListBoxes {
    std::vector<RING_header_s*> chains;
    std::vector<CHAIN_BOX_s> boxes;
    std::vector<char> boxed;
};

ListBoxes list_boxes(RING_header_s* list) {
    ListBoxes out;
    out.chains = chains_of(list);
    out.boxes.resize(out.chains.size());
    out.boxed.resize(out.chains.size());
    for (size_t k = 0; k < out.chains.size(); ++k)
        out.boxed[k] = chain_box_along(out.chains[k], kDefaultAxis, CHAIN_ask_cached_box(out.chains[k]) != nullptr,
                                       &out.boxes[k]);
    return out;
}

// What consecutive searches of chains into one list keep between them: the
// list's sub-rings by chain, and how many of the list's sub-rings have had
// their owners' end points entered and been closed (step 4 below).  Only the
// searches edit the list meanwhile, each with its own end points entered.
struct ListSearch {
    explicit ListSearch(RING_header_s* list) : index(list) {}
    SubRings index;
    int done = 0;
    RING_node_s* last_done = nullptr;
};

// CHAIN_chain_chains_intersections; `known` (may be null) holds the boxes
// of `chains` along the default axis, used when the chain's axis is that
// axis; `shared` (may be null) is kept from the search before into the same
// list, which entered its own end points.
int chain_chains_search(RING_header_s* chain, RING_header_s* chains, bool own_ends, bool others_ends,
                        const Korvo::Math::Vector2* direction, RING_header_s* list, double tolerance,
                        const ListBoxes* known, ListSearch* shared) {
    if (!chain || !chains || !list) return 0;
    // 1. The list's nodes carry sub-rings, nothing its node hook could own.
    RING_set_node_main_data_delfunc(list, nullptr);
    std::optional<SubRings> own_index;
    SubRings& index = shared ? shared->index : own_index.emplace(list);
    if (own_ends) load_edges(chain, list, &index);

    // 2. The chain's box: along its cached box's axis (refreshing the cache)
    //    when it has one, else along the direction in scratch.
    double axis[2] = {direction ? direction->x : kDefaultAxis[0], direction ? direction->y : kDefaultAxis[1]};
    const CHAIN_BOX_s* cached = CHAIN_ask_cached_box(chain);
    if (cached) {
        axis[0] = cached->direction[0];
        axis[1] = cached->direction[1];
    }
    CHAIN_BOX_s box;
    const bool boxed = chain_box_along(chain, axis, cached != nullptr, &box);

    // 3. Every segment against every chain of the list whose box (along the
    //    same axis, cached when that chain had a cached box) overlaps, by
    //    segment, chain and the chain's segment; only pairs whose segment
    //    boxes meet are tried.
    if (known && (axis[0] != kDefaultAxis[0] || axis[1] != kDefaultAxis[1])) known = nullptr;
    const std::vector<RING_header_s*> others = known ? known->chains : chains_of(chains);
    std::vector<size_t> touching;
    if (boxed)
        for (size_t k = 0; k < others.size(); ++k) {
            CHAIN_BOX_s other_box;
            const bool other_boxed =
                known ? known->boxed[k] != 0
                      : chain_box_along(others[k], axis, CHAIN_ask_cached_box(others[k]) != nullptr, &other_box);
            if (other_boxed && boxes_overlap(box, known ? known->boxes[k] : other_box)) touching.push_back(k);
        }
    const SegmentBoxes segments = segment_boxes(chain);
    std::vector<SegmentBoxes> other_segments(touching.size());
    std::vector<Pairs> pairs(touching.size());
    for (size_t t = 0; t < touching.size(); ++t) {
        other_segments[t] = segment_boxes(others[touching[t]]);
        pairs[t] = segment_pairs(segments, &other_segments[t]);
    }
    std::vector<size_t> at(touching.size(), 0);
    for (size_t i = 0; i < segments.nodes.size(); ++i)
        for (size_t t = 0; t < touching.size(); ++t)
            run_pairs_of(chain, others[touching[t]], segments, other_segments[t], pairs[t], at[t], int(i), list,
                         tolerance, &index);

    // 4. Other chains' end points when asked; closed chains' sub-rings closed.
    //    After an earlier search into the list, the sub-rings it saw have
    //    their owners' end points (entering them again finds them there) and
    //    are closed unless a place went into them since: only the sub-rings
    //    made since and those that took a place are visited.
    if (!shared) {
        for (RING_header_s* sub : sub_rings_of(list)) {
            auto* owner = static_cast<RING_header_s*>(sub->main_data);
            if (others_ends && owner != chain) load_edges(owner, list, &index);
            if (is_closed(owner)) make_circular(sub);
        }
    } else {
        const std::unordered_set<RING_header_s*> touched = index.take_touched();
        RING_node_s* node = shared->last_done ? shared->last_done->next : list->first;
        for (int i = shared->done; i < list->count && node; ++i, node = node->next) {
            if (RING_header_s* sub = RING_ask_node_subring(node)) {
                auto* owner = static_cast<RING_header_s*>(sub->main_data);
                if (others_ends && owner != chain) load_edges(owner, list, &index);
                if (is_closed(owner)) make_circular(sub);
            }
        }
        for (RING_header_s* sub : touched)
            if (is_closed(static_cast<const RING_header_s*>(sub->main_data))) make_circular(sub);
        shared->done = list->count;
        shared->last_done = list->last;
    }
    // 5. The list to the chain debug interface.
    CHAIN_debug_report(3, "CHAIN_chain_chains_intersections:", list, nullptr);
    return 1;
}

}  // namespace

int CHAIN_chain_chains_intersections(RING_header_s* chain, RING_header_s* chains, bool own_ends, bool others_ends,
                                     const Korvo::Math::Vector2* direction, RING_header_s* list, double tolerance) {
    return chain_chains_search(chain, chains, own_ends, others_ends, direction, list, tolerance, nullptr, nullptr);
}

int CHAIN_chain_chains_intersections(RING_header_s* chain, RING_header_s* chains, bool own_ends, bool others_ends,
                                     const Korvo::Math::Vector2* direction, RING_header_s* list) {
    return CHAIN_chain_chains_intersections(chain, chains, own_ends, others_ends, direction, list,
                                            CHAIN_INTERSECTION_TOLERANCE);
}

int ChainToChainsInt(RING_header_s* chain, RING_header_s* chains, RING_header_s* list, bool others_ends) {
    CHAIN_chain_chains_intersections(chain, chains, true, others_ends, nullptr, list, CHAIN_INTERSECTION_TOLERANCE);
    return 1;
}

int ChainsToChainsInt(RING_header_s* list1, RING_header_s* list2, RING_header_s* result, bool others_ends) {
    if (!list1 || !list2 || !result) return 1;
    // Every chain of list 1 against list 2, as ChainToChainsInt does.  The
    // boxes of list 2's chains are taken once when no chain of either list
    // has a cached box along another axis than the default one: then every
    // search runs along the default axis and refreshing a cached box leaves
    // it as it was.
    const std::vector<RING_header_s*> chains1 = chains_of(list1);
    bool default_axis = true;
    for (RING_header_s* list : {list1, list2})
        for (const RING_header_s* chain : chains_of(list))
            if (const CHAIN_BOX_s* cached = CHAIN_ask_cached_box(chain))
                default_axis = default_axis && cached->direction[0] == kDefaultAxis[0] &&
                               cached->direction[1] == kDefaultAxis[1];
    const ListBoxes boxes2 = default_axis ? list_boxes(list2) : ListBoxes();
    ListSearch shared(result);
    for (RING_header_s* chain : chains1)
        chain_chains_search(chain, list2, true, others_ends, nullptr, result, CHAIN_INTERSECTION_TOLERANCE,
                            default_axis ? &boxes2 : nullptr, &shared);
    SubRings index(result);
    for (RING_header_s* chain : chains_of(list2)) load_edges(chain, result, &index);
    close_sub_rings(result);
    return 1;
}

int ChainToChainInt(RING_header_s* chain1, RING_header_s* chain2, RING_header_s* list) {
    if (!chain1 || !chain2 || !list) return 1;
    SubRings index(list);
    load_edges(chain1, list, &index);
    load_edges(chain2, list, &index);
    CHAIN_BOX_s box1, box2;
    const bool apart = !chain_box_along(chain1, kDefaultAxis, true, &box1) ||
                       !chain_box_along(chain2, box1.direction, true, &box2) || !boxes_overlap(box1, box2);
    if (!apart) {
        // Every pair by segment of chain 1, then of chain 2, whose boxes meet.
        const SegmentBoxes segments1 = segment_boxes(chain1);
        const SegmentBoxes segments2 = segment_boxes(chain2);
        for (const auto& [i, j] : segment_pairs(segments1, &segments2))
            segment_pair(chain1, chain2, i + 1, j + 1, segments1.nodes[i], segments2.nodes[j], list,
                         CHAIN_INTERSECTION_TOLERANCE, &index, !every_pair());
    }
    // Also when the boxes lie apart: the end points entered above belong to
    // sub-rings that must be circular for closed chains.
    close_sub_rings(list);
    return 1;
}

int ChainIntersection(RING_header_s* chain, RING_header_s* list) {
    if (!chain || !list) return 1;
    SubRings index(list);
    load_edges(chain, list, &index);
    if (!CHAIN_ask_cached_box(chain) && chain->count >= 2) ChainBox(chain, nullptr, nullptr);
    // Every pair i < j whose boxes meet, the closing segment of a closed
    // chain last.
    const SegmentBoxes segments = segment_boxes(chain);
    for (const auto& [i, j] : segment_pairs(segments, nullptr))
        segment_pair(chain, chain, i + 1, j + 1, segments.nodes[i], segments.nodes[j], list,
                     CHAIN_INTERSECTION_TOLERANCE, &index, !every_pair());
    if (is_closed(chain)) make_circular(index.find(chain));
    CHAIN_debug_report(3, "ChainIntersection:", list, nullptr);
    return 1;
}

int ChainsIntersection(RING_header_s* set, RING_header_s* list) {
    chains_search(set, list, true, EndPoints::WhileFirstSegment);
    return 1;
}

// Replaced in the classic build (internal/flavour_intersections.h).
__attribute__((weak)) int merrow1::flavour_intersections(RING_header_s* chains, RING_header_s* intersections) {
    return ChainsIntersection(chains, intersections);
}

int ChainsIntersectionBetween(RING_header_s* set, RING_header_s* list, bool ends_after) {
    chains_search(set, list, false, ends_after ? EndPoints::AfterSearchIfTouched : EndPoints::BeforeSearch);
    return 1;
}

// ---------------------------------------------------------------------------
// Questions

bool CHAIN_to_chain_has_intersections(RING_header_s* chain1, RING_header_s* chain2, POINT_ON_CHAIN_s* first) {
    if (first) {
        *first = POINT_ON_CHAIN_s{};
        first->chain = chain1;
    }
    if (!chain1 || !chain2) return false;
    CHAIN_BOX_s box1, box2;
    if (!chain_box_along(chain1, kDefaultAxis, true, &box1) || !chain_box_along(chain2, box1.direction, true, &box2) ||
        !boxes_overlap(box1, box2))
        return false;
    return merrow1::run_converting([&]() -> bool {
        MERROW1_SCRATCH_POOL(pool, "CHAIN_to_chain_has_intersections");
        RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        if (!list) return false;
        // Every ordered pair whose boxes meet; the search ends at the first
        // place on chain 1.
        const SegmentBoxes segments1 = segment_boxes(chain1);
        const SegmentBoxes segments2 = segment_boxes(chain2);
        for (const auto& [i, j] : segment_pairs(segments1, &segments2)) {
            segment_pair(chain1, chain2, i + 1, j + 1, segments1.nodes[i], segments2.nodes[j], list,
                         CHAIN_INTERSECTION_TOLERANCE, nullptr, !every_pair());
            const RING_header_s* sub = find_sub_ring(list, chain1);
            if (!sub || !sub->first) continue;
            if (first) *first = *static_cast<const POINT_ON_CHAIN_s*>(sub->first->main_data);
            return true;
        }
        return false;
    });
}

bool CHAIN_has_self_intersections(RING_header_s* chain_or_list) {
    if (!chain_or_list) return false;
    if (chain_or_list->type == RING_TYPE_CHAIN)
        return chain_or_list->count > 0 && CHAIN_to_chain_has_intersections(chain_or_list, chain_or_list, nullptr);
    for (RING_header_s* chain : chains_of(chain_or_list))
        if (chain->count > 0 && CHAIN_to_chain_has_intersections(chain, chain, nullptr)) return true;
    return false;
}

int CHAIN_number_of_intersections_between_chain_and_chains_in_list(RING_header_s* chain, RING_header_s* chains) {
    if (!chain || !chains) return 0;
    return merrow1::run_converting([&]() -> int {
        MERROW1_SCRATCH_POOL(pool, "CHAIN_number_of_intersections_between_chain_and_chains_in_list");
        RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        if (!list) return 0;
        CHAIN_chain_chains_intersections(chain, chains, false, false, nullptr, list, CHAIN_INTERSECTION_TOLERANCE);
        return points_on(list, chain);
    });
}

int CHAIN_number_of_intersection_points_in_common(RING_header_s* chain1, RING_header_s* chain2) {
    if (!chain1 || !chain2) return 0;
    return merrow1::run_converting([&]() -> int {
        MERROW1_SCRATCH_POOL(pool, "CHAIN-CHAIN_number_of_intersection_points_in_common");
        RING_header_s* others = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        if (!others || !list) return 0;
        // The one-chain list only refers to chain 2.
        RING_set_sub_ring_delfunc(others, nullptr);
        CHAIN_add_chain_to_list(others, chain2);
        CHAIN_chain_chains_intersections(chain1, others, false, false, nullptr, list, CHAIN_INTERSECTION_TOLERANCE);
        return points_on(list, chain1);
    });
}
