// Boolean of a chain set: the engine chosen by the switch, then the output
// validation.
#include "chain/chain_check.h"
#include "chain/chain_part_nodes.h"
#include "chainops/chain_2.h"
#include "chainops/chain_poly_seg_internal.h"

#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_boolean.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_merge.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_split.h>
#include <merrow1/chain_trace.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_from_chain.h>
#include <pellam/mchn_merge.h>

#include "chain/chain_winding.h"
#include "chain/chain_record.h"
#include "chain/split_network.h"
#include "internal/tolerances.h"
#include "internal/check.h"
#include "chain/chain_fields_guard.h"
#include "internal/flavour_intersections.h"
#include "internal/ring_check.h"
#include "internal/scratch_pool.h"
#include "internal/ring_nodes.h"

#include <pellam/grid3d.h>
#include <stend/error.h>
#include <velte/carr.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

using merrow1::is_closed;
using merrow1::main_of;
using merrow1::point_of;

// Debug code of a report that shows a chain or a list.
constexpr int kReportChain = 3;

// The older road's reading of chains as the union of their region sets:
// every pair intersected, the region's boundary walked, and where material
// lies at infinity only the faces below the level far away.
CHAIN__older_pairs_t union_pairs(bool material_at_infinity) {
    return material_at_infinity ? CHAIN__OLDER_PAIRS_ALL | CHAIN__OLDER_REGION | CHAIN__OLDER_BELOW_FAR
                                : CHAIN__OLDER_PAIRS_ALL | CHAIN__OLDER_REGION;
}

bool input_all_closed(const RING_header_s* input) {
    if (!input) return false;
    if (input->type == RING_TYPE_CHAIN) return is_closed(input);
    if (input->type != RING_TYPE_LIST) return false;
    const RING_node_s* node = input->first;
    for (int i = 0; i < input->count && node; ++i, node = node->next) {
        const RING_header_s* chain = RING_ask_node_subring(node);
        if (chain && chain->count >= 2 && !is_closed(chain)) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Split-chain engine: helpers

// Chain parameters of consecutive pieces agree within this.
constexpr double kParameterSlack = 1e-8;
// Ends of a walked loop meet within this squared distance.
constexpr double kCloseSquared = 1e-16;

using merrow1::ring_nodes;

SPLIT_CHAIN_s* record_of(const RING_node_s* node) { return node ? static_cast<SPLIT_CHAIN_s*>(node->main_data) : nullptr; }
SPLIT_JUNCTION_s* junction_data(const RING_node_s* junction) {
    RING_header_s* ends = RING_ask_node_subring(junction);
    return ends ? static_cast<SPLIT_JUNCTION_s*>(ends->main_data) : nullptr;
}
RING_header_s* chain_of(const SPLIT_CHAIN_s* end) {
    return end && end->piece && end->piece->start ? end->piece->start->chain : nullptr;
}
using merrow1::other_side;
int effective_side(const SPLIT_CHAIN_s* end) {
    const CHAIN_main_data_s* data = main_of(chain_of(end));
    const int side = data ? data->material_side : 0;
    return end->reversed ? other_side(side) : side;
}

// Takes a loop back out of out: a loop the call made is deleted with its
// node; a caller's chain handed on by reference loses that reference only.
void take_back(RING_header_s* out, RING_node_s* node, bool made) {
    if (made) {
        RING_delete_node(out, node);
        return;
    }
    RING_header_s* chain = RING_ask_node_subring(node);
    RING_disconnect_node(out, node);
    if (chain && chain->references > 1) RING_delete(chain);
}

// End records held by the junctions of the network.
int record_count(const RING_header_s* network) {
    int records = 0;
    for (RING_node_s* junction : ring_nodes(network))
        if (const RING_header_s* ends = RING_ask_node_subring(junction)) records += ends->count;
    return records;
}

bool marked(const RING_node_s* junction) {
    return APP_DATA__ask_app_data(junction->app_data, CHAIN_APP_DATA_SCRATCH_MARK) != nullptr;
}
void mark(RING_header_s* network, RING_node_s* junction) {
    RING_put_node_app_data(network, junction, CHAIN_APP_DATA_SCRATCH_MARK, junction);
}
int pass_of(const RING_node_s* junction) {
    const SPLIT_JUNCTION_s* data = junction_data(junction);
    return data ? static_cast<int>(data->pass) : 0;
}

// The pass counter hung on the network header, made on first use.
int* pass_counter(RING_header_s* network) {
    if (!network->main_data) {
        int* counter = CMEM_NEW(network->pool, int);
        *counter = 0;
        network->main_data = counter;
    }
    return static_cast<int*>(network->main_data);
}
int current_pass(const RING_header_s* network) {
    return network->main_data ? *static_cast<const int*>(network->main_data) : 0;
}

bool material_inside(DIRECTION direction, SIDE side) {
    return (direction == CW && side == RIGHT) || (direction == CCW && side == LEFT);
}

// Loop class of a source chain: 1 material inside, 0 a closed chain that is
// not traced and has its material outside, 2 anything else.
int class_of(RING_header_s* chain) {
    RING_header_s* source = ChainStockedFrom(chain);
    if (!source) source = chain;
    const CHAIN_main_data_s* data = main_of(source);
    if (!data) return 2;
    // A source without area (a chain closed back along itself) has no
    // direction of its own: the one it was given stands.  The chain's mark
    // tells so, not its summed area, whose rounding at a large extent lies
    // far above the squared tolerance and has either sign.
    DIRECTION direction = CHAIN_is_closed_back_along_itself(source) ? 0 : CHAIN_direction_of_chain(source);
    if (direction == 0) direction = data->direction;
    if (is_closed(source) && material_inside(direction, data->material_side)) return 1;
    if (is_closed(source) && data->kind != TRACE_CHAIN) return 0;
    return 2;
}

// Whether every segment a piece covers is a connecting (dummy) piece of a
// trace; a piece of a chain without trace records never is.  The segments
// run from the one the piece begins on to the one holding its end, read as
// every walk over a part reads them (a start at a vertex may name that
// vertex or, moved on when the part was made, the node after it).
bool piece_all_dummy(const PART_OF_CHAIN_s* piece) {
    if (!piece || !piece->start || !piece->end) return false;
    const RING_header_s* chain = piece->start->chain;
    RING_node_s* node = merrow1::part_start_node(piece->start);
    const RING_node_s* last = merrow1::part_end_node(piece->end);
    if (!last) return false;
    for (int k = 0; node && chain && k < chain->count; ++k, node = node->next) {
        const auto* record = static_cast<const CHAIN_trace_vertex_data_s*>(
            APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_TRACE_VERTEX));
        if (!record || !record->dummy) return false;
        if (node == last) return true;
    }
    return false;
}

CHAIN_loop_class_s* loop_class(RING_header_s* chain) {
    auto* record = static_cast<CHAIN_loop_class_s*>(APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_LOOP_CLASS));
    if (!record) {
        record = CMEM_NEW(chain->pool, CHAIN_loop_class_s);
        record->material_class = 2;
        record->all_dummy = 1;
        RING_put_header_app_data(chain, CHAIN_APP_DATA_LOOP_CLASS, record);
    }
    return record;
}

bool ends_meet(const RING_header_s* chain) {
    if (!chain->first || chain->count < 2) return false;
    const double* a = point_of(chain->first);
    const double* b = point_of(chain->last);
    const double dx = a[0] - b[0], dy = a[1] - b[1];
    return dx * dx + dy * dy <= kCloseSquared;
}

// Start and end parameters of the piece in the direction the record runs.
double run_start(const SPLIT_CHAIN_s* end) { return end->reversed ? end->piece->end->parameter : end->piece->start->parameter; }
double run_end(const SPLIT_CHAIN_s* end) { return end->reversed ? end->piece->start->parameter : end->piece->end->parameter; }

// Whether `next` continues `previous` along one chain: same chain, the run of
// next starting where previous ended (modulo the vertex count on closed
// chains).
bool continues(const SPLIT_CHAIN_s* previous, const SPLIT_CHAIN_s* next) {
    RING_header_s* chain = chain_of(previous);
    if (!chain || chain != chain_of(next)) return false;
    double gap = run_end(previous) - run_start(next);
    if (is_closed(chain) && chain->count > 0) {
        const double n = chain->count;
        gap = std::fmod(gap, n);
        if (gap < 0) gap += n;
        gap = std::min(gap, n - gap);
    }
    return std::fabs(gap) <= kParameterSlack;
}

bool whole_closed_chain(const SPLIT_CHAIN_s* end) {
    RING_header_s* chain = chain_of(end);
    return chain && !end->reversed && is_closed(chain) && std::fabs(end->piece->start->parameter) <= kParameterSlack &&
           std::fabs(end->piece->end->parameter - chain->count) <= kParameterSlack;
}

struct Start {
    RING_header_s* ends = nullptr;
    RING_node_s* node = nullptr;
};

bool in_group(const RING_node_s* junction, int pass) {
    if (!junction || pass_of(junction) != pass) return false;
    const RING_header_s* ends = RING_ask_node_subring(junction);
    return ends && ends->first;
}

// Whether the start search takes a chain's points along the chain: all but
// an open chain whose material lies on the other side, taken backwards.
bool points_along(const RING_header_s* chain, SIDE side) {
    const CHAIN_main_data_s* data = main_of(chain);
    return !chain || is_closed(chain) || (data && data->material_side == side);
}

// The junction of the first point of a chain of the intersection list in
// the order the start search takes its points (points_along).  Null when the
// chain has no points or its first point no junction.
RING_node_s* first_junction(const RING_node_s* list_node, SIDE side) {
    const RING_header_s* points = RING_ask_node_subring(list_node);
    if (!points || !points->first) return nullptr;
    const RING_header_s* chain = static_cast<const RING_header_s*>(points->main_data);
    const RING_node_s* first = points_along(chain, side) ? points->first : points->last;
    return static_cast<RING_node_s*>(APP_DATA__ask_app_data(first->app_data, CHAIN_APP_DATA_SPLIT_JUNCTION));
}

// The side the walks of a call take: the given one, or for 0 the material
// side of the intersection list's first chain.
SIDE walk_side(const RING_header_s* intersections, SIDE side) {
    if (side == 0 && intersections && intersections->first) {
        const RING_header_s* points = RING_ask_node_subring(intersections->first);
        const CHAIN_main_data_s* data = points ? main_of(static_cast<RING_header_s*>(points->main_data)) : nullptr;
        if (data) side = data->material_side;
    }
    return side;
}

// The start records of the loops of one group (see ChainsMinimalLoops), kept
// for the length of one walk of the group.  The next start is, in this order:
//  1. the first junction of the group in network order that holds a single
//     record, on the side;
//  2. along the first chain of the intersection list not yet finished (in
//     list order; its points in the order of first_junction), the first
//     point whose junction holds a record of that chain on the side, the
//     lowest parameter first; a chain without one is finished, as is a chain
//     whose first point was indexed in another pass (those never enter).
// The walk removes records only, through remove(), so a junction can only
// come to hold a single record when one is removed from it, and a point
// passed over in step 2 never gains a record: the junctions holding a single
// record are kept in a set by network position, updated at each removal, and
// step 2 resumes at the chain and point where it last stopped.
class StartFinder {
public:
    // `junctions`: those of the group, in network order; `chains`: the nodes
    // of the intersection list whose first junction is of the group, in list
    // order.
    StartFinder(std::vector<RING_node_s*> junctions, std::vector<RING_node_s*> chains, int pass, SIDE side)
        : m_pass(pass), m_side(side), m_junctions(std::move(junctions)), m_chains(std::move(chains)) {
        for (size_t k = 0; k < m_junctions.size(); ++k) {
            m_position.emplace(RING_ask_node_subring(m_junctions[k]), k);
            if (single(m_junctions[k])) m_singles.insert(k);
        }
    }
    StartFinder(const StartFinder&) = delete;
    StartFinder& operator=(const StartFinder&) = delete;

    // Deletes the record's node from the junction ring that holds it.
    void remove(RING_header_s* ends, RING_node_s* node) {
        if (!ends || !node) return;
        RING_delete_node(ends, node);
        const auto at = m_position.find(ends);
        if (at == m_position.end()) return;
        if (single(m_junctions[at->second]))
            m_singles.insert(at->second);
        else
            m_singles.erase(at->second);
    }

    Start next() {
        Start start;
        // 1. The first junction holding a single record on the side.
        while (!m_singles.empty()) {
            RING_node_s* junction = m_junctions[*m_singles.begin()];
            if (!single(junction)) {
                m_singles.erase(m_singles.begin());
                continue;
            }
            RING_header_s* ends = RING_ask_node_subring(junction);
            start.ends = ends;
            start.node = ends->first;
            return start;
        }
        // 2. Along the first chain not yet finished.
        for (; m_chain < m_chains.size(); ++m_chain, m_point = 0) {
            RING_header_s* points = RING_ask_node_subring(m_chains[m_chain]);
            RING_header_s* chain = points ? static_cast<RING_header_s*>(points->main_data) : nullptr;
            if (m_loaded != m_chain) {
                m_loaded = m_chain;
                m_points = ring_nodes(points);
                if (!points_along(chain, m_side)) std::reverse(m_points.begin(), m_points.end());
            }
            for (; m_point < m_points.size(); ++m_point) {
                auto* junction = static_cast<RING_node_s*>(
                    APP_DATA__ask_app_data(m_points[m_point]->app_data, CHAIN_APP_DATA_SPLIT_JUNCTION));
                // A chain whose first point was indexed in another pass
                // belongs to another group; points of this group left without
                // records (reduced away) are passed over.
                if (m_point == 0 && (!junction || pass_of(junction) != m_pass)) break;
                if (!in_group(junction, m_pass)) continue;
                RING_header_s* ends = RING_ask_node_subring(junction);
                // Ties: the lowest parameter, then ring order.
                RING_node_s* best = nullptr;
                double best_key = 0;
                for (RING_node_s* node : ring_nodes(ends)) {
                    const SPLIT_CHAIN_s* end = record_of(node);
                    if (chain_of(end) != chain || effective_side(end) != m_side) continue;
                    const double key = end->reversed ? -end->piece->end->parameter : end->piece->start->parameter;
                    if (!best || key < best_key) best = node, best_key = key;
                }
                if (best) {
                    start.ends = ends;
                    start.node = best;
                    return start;
                }
            }
        }
        return start;
    }

    // The records the group's junctions hold, which bound its loops and steps.
    int records() const {
        int count = 0;
        for (RING_node_s* junction : m_junctions)
            if (const RING_header_s* ends = RING_ask_node_subring(junction)) count += ends->count;
        return count;
    }

private:
    // Whether the junction is of the group and holds a single record, on the side.
    bool single(const RING_node_s* junction) const {
        if (!in_group(junction, m_pass)) return false;
        const RING_header_s* ends = RING_ask_node_subring(junction);
        return ends->count == 1 && effective_side(record_of(ends->first)) == m_side;
    }

    int m_pass;
    SIDE m_side;
    std::vector<RING_node_s*> m_junctions;                       // network order
    std::vector<RING_node_s*> m_chains;                          // list order
    std::unordered_map<const RING_header_s*, size_t> m_position;  // junction ring -> place in m_junctions
    std::set<size_t> m_singles;                                   // places of single-record junctions
    size_t m_chain = 0;                                           // first chain not known finished
    std::vector<RING_node_s*> m_points;                           // that chain's points in walk order
    size_t m_point = 0;                                           // first of them not passed over
    size_t m_loaded = SIZE_MAX;                                   // the chain m_points holds
};

// The network's junction order and the intersection list's chains by the
// pass of their first junction (first_junction), taken once for the walks of
// all groups of a network whose junctions are indexed and no longer change
// but for the records the walks remove.
class WalkIndex {
public:
    WalkIndex(const RING_header_s* intersections, const RING_header_s* network, SIDE side) : m_side(side) {
        size_t k = 0;
        for (RING_node_s* junction : ring_nodes(network)) m_position.emplace(junction, k++);
        for (RING_node_s* list_node : ring_nodes(intersections))
            if (const RING_node_s* junction = first_junction(list_node, side))
                m_chains[pass_of(junction)].push_back(list_node);
    }
    SIDE side() const { return m_side; }
    // The group's junctions in network order.
    std::vector<RING_node_s*> in_network_order(std::vector<RING_node_s*> junctions) const {
        std::sort(junctions.begin(), junctions.end(), [this](const RING_node_s* a, const RING_node_s* b) {
            return place(a) < place(b);
        });
        return junctions;
    }
    std::vector<RING_node_s*> chains_of_pass(int pass) const {
        const auto it = m_chains.find(pass);
        return it == m_chains.end() ? std::vector<RING_node_s*>() : it->second;
    }

private:
    size_t place(const RING_node_s* junction) const {
        const auto it = m_position.find(junction);
        return it == m_position.end() ? SIZE_MAX : it->second;
    }
    SIDE m_side;
    std::unordered_map<const RING_node_s*, size_t> m_position;
    std::unordered_map<int, std::vector<RING_node_s*>> m_chains;
};

// The start finder of the group of the pass: from the index and the group's
// junctions when the caller keeps them, else from one look at the network and
// the list.
StartFinder group_starts(RING_header_s* intersections, RING_header_s* network, int pass, SIDE side,
                         const WalkIndex* index, const std::vector<RING_node_s*>* group) {
    if (index && group && index->side() == side)
        return StartFinder(index->in_network_order(*group), index->chains_of_pass(pass), pass, side);
    std::vector<RING_node_s*> junctions, chains;
    for (RING_node_s* junction : ring_nodes(network))
        if (pass_of(junction) == pass) junctions.push_back(junction);
    for (RING_node_s* list_node : ring_nodes(intersections)) {
        const RING_node_s* junction = first_junction(list_node, side);
        if (junction && pass_of(junction) == pass) chains.push_back(list_node);
    }
    return StartFinder(std::move(junctions), std::move(chains), pass, side);
}

}  // namespace

// ---------------------------------------------------------------------------
// Split-chain engine

void SplitChainRemoveIndex(RING_header_s* network, int index, int pass) {
    if (!network) return;
    for (RING_node_s* junction : ring_nodes(network)) {
        if (pass_of(junction) != pass) continue;
        RING_header_s* ends = RING_ask_node_subring(junction);
        for (RING_node_s* node : ring_nodes(ends))
            if (record_of(node)->index != index) RING_delete_node(ends, node);
    }
}

namespace {

// The first junction of the network not yet indexed whose ring holds records;
// the empty ones met on the way are marked.  Null when none is left.  A
// caller indexing group after group of a network that does not change
// meanwhile keeps the network's nodes and `from`, the place where the last
// search stopped: every junction before it is marked, and marks are only
// added.
RING_node_s* next_group_seed(RING_header_s* network, const std::vector<RING_node_s*>* nodes = nullptr,
                             size_t* from = nullptr) {
    const std::vector<RING_node_s*> all =
        nodes ? std::vector<RING_node_s*>() : std::vector<RING_node_s*>(ring_nodes(network));
    const std::vector<RING_node_s*>& junctions = nodes ? *nodes : all;
    for (size_t k = from ? *from : 0; k < junctions.size(); ++k) {
        RING_node_s* junction = junctions[k];
        if (from) *from = k;
        if (marked(junction)) continue;
        const RING_header_s* ends = RING_ask_node_subring(junction);
        if (ends && ends->first) return junction;
        mark(network, junction);
    }
    if (from) *from = junctions.size();
    return nullptr;
}

// Indexes the group of junctions connected to `first` in the pass (see
// ChainInterfIndex, steps 2 and 3): its junctions go to `group`, `consistent`
// learns whether every junction's count came back to where it started.
// Answers the lowest index of the group.  `records`: the records of the
// network when the caller counted them (negative: counted here).
int flood_group(RING_header_s* network, RING_node_s* first, int pass, std::vector<RING_node_s*>& group,
                bool* consistent, int records = -1) {
    // Flood: each junction is indexed once, from the twin of the record that
    // reached it, with that record's index as base.  The stack holds at most
    // one entry per record of the network.
    struct Item {
        RING_node_s* junction;
        RING_node_s* start;
        int base;
    };
    std::vector<Item> stack{{first, nullptr, 0}};
    int lowest = INT_MAX;
    bool all_consistent = true;
    if (records < 0) records = record_count(network);
    for (int popped = 0; !stack.empty();) {
        if (++popped > records + 1) MERROW1_INFINITE_LOOP();
        const Item item = stack.back();
        stack.pop_back();
        if (marked(item.junction)) continue;
        RING_header_s* ends = RING_ask_node_subring(item.junction);
        if (!ends || !ends->first) {
            mark(network, item.junction);
            continue;
        }
        bool junction_consistent = true;
        lowest = ChainsNodeInterfIndex(ends, item.start ? item.start : ends->first, item.base, lowest,
                                       &junction_consistent);
        all_consistent = all_consistent && junction_consistent;
        mark(network, item.junction);
        junction_data(item.junction)->pass = pass;
        group.push_back(item.junction);
        std::vector<RING_node_s*> records = ring_nodes(ends);
        for (auto it = records.rbegin(); it != records.rend(); ++it) {
            const SPLIT_CHAIN_s* end = record_of(*it);
            if (!end->far_junction || marked(end->far_junction)) continue;
            RING_node_s* twin = NextSplitChain(end, nullptr);
            if (twin) stack.push_back({end->far_junction, twin, end->index});
        }
    }

    // One sweep making the two ends of every piece agree on the lower index;
    // a piece whose ends disagree is a break in the count.
    for (RING_node_s* junction : group) {
        RING_header_s* ends = RING_ask_node_subring(junction);
        for (RING_node_s* node : ring_nodes(ends)) {
            SPLIT_CHAIN_s* end = record_of(node);
            RING_header_s* far = nullptr;
            RING_node_s* twin = NextSplitChain(end, &far);
            if (!twin || record_of(twin)->index == end->index) continue;
            all_consistent = false;
            const int low = std::min(end->index, record_of(twin)->index);
            lowest = std::min(lowest, ChainsNodeInterfIndex(ends, node, low, lowest, nullptr));
            lowest = std::min(lowest, ChainsNodeInterfIndex(far, twin, low, lowest, nullptr));
        }
    }
    if (consistent) *consistent = all_consistent;
    return lowest;
}

}  // namespace

int ChainInterfIndex(RING_header_s* network, int* index) {
    if (!network) return 0;
    RING_node_s* first = next_group_seed(network);
    if (!first) return 0;
    const int pass = ++*pass_counter(network);
    std::vector<RING_node_s*> group;
    const int lowest = flood_group(network, first, pass, group, nullptr);
    SplitChainRemoveIndex(network, lowest, pass);
    CHAIN__remove_unneeded_splitpoints(network);
    if (index) *index = lowest;
    return 1;
}

void CHAIN_split_chain_list(RING_header_s* chains, RING_header_s* intersections, RING_header_s* network) {
    if (!CHAIN__input_usable(chains, "CHAIN_split_chain_list", CHAIN_INPUT_LIST)) return;
    if (!chains || !intersections || !network) return;
    ChainsIntersectionBetween(chains, intersections, false);
    ChainsSplit(intersections, network);
    int index = 0;
    // Each call isolates one group and marks at least one junction: there are
    // at most as many groups as junctions.
    const int bound = network->count;
    for (int groups = 0; ChainInterfIndex(network, &index);)
        if (++groups > bound) MERROW1_INFINITE_LOOP();
}

namespace {

// Moves the vertices of the loop after `at` (a vertex where the walk came
// back to a junction it had reached) into a closed loop of their own, made in
// the pool with the loop's data and the side; null when they make none.
RING_header_s* split_off_loop(RING_header_s* loop, RING_node_s* at, SIDE side, CMEM_pool_s* pool,
                              CHAIN_vertex_source_callback_t merge) {
    if (!at || at == loop->last || at->next == loop->last) return nullptr;
    const double* a = point_of(at);
    const double* b = point_of(loop->last);
    if ((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) > kCloseSquared) return nullptr;
    RING_header_s* part = CHAIN_create_from_chain(loop, pool);
    if (!part) return nullptr;
    *main_of(part) = *main_of(loop);
    main_of(part)->material_side = side;
    end_segment start{};
    start.x = point_of(at)[0];
    start.y = point_of(at)[1];
    ChainAddVertex(part, &start, SEG_POINT);
    // The vertices after `at` to the loop's last, at most all of them.
    for (int left = loop->count; left > 0 && at != loop->last; --left)
        RING_move_node(loop, at->next, part, part->last);
    merge(part->first, nullptr, part, part->last, part);
    merge(nullptr, nullptr, nullptr, nullptr, part);
    CHAIN_close(part, merrow1::kCloseGap);
    main_of(part)->direction = CHAIN_direction_of_chain(part);
    CHAIN_loop_class_s* record = loop_class(part);
    *record = *loop_class(loop);
    record->all_dummy = 0;
    return part;
}

// ChainsMinimalLoops; with follow_chains false a walk never prefers the
// piece that continues its chain at a junction and goes round the faces of
// the lowest level (the region's boundary alone is left), turning to the
// twin's neighbour on their side, and it ends where the loop closes.
//
// With `index` and `group` (the group's junctions, which the caller marked)
// the call looks only at the group's junctions and chains; without them it
// takes them from the network and the list.
int minimal_loops(RING_header_s* intersections, RING_header_s* network, SIDE side, RING_header_s* out,
                  CHAIN_vertex_source_callback_t merge, bool follow_chains, const WalkIndex* index = nullptr,
                  const std::vector<RING_node_s*>* group = nullptr) {
    if (!merge) merge = CHAIN_boolean_merge;
    side = walk_side(intersections, side);
    const int pass = current_pass(network);
    StartFinder starts = group_starts(intersections, network, pass, side, index, group);
    std::vector<RING_node_s*> added;  // nodes of out this call added
    std::vector<bool> made;          // whether the call made that chain
    bool met_traced = false;
    bool emptied = false;
    // The class of each stocked source met by a walk, worked out once: it
    // reads the whole source (its area), and a walk meets a traced chain's
    // source at every step.  Only the closed chains taken whole change a
    // chain's records here, so their branch forgets what was worked out.
    std::unordered_map<RING_header_s*, int> stocked_class;
    auto class_of_stocked = [&](RING_header_s* stocked) {
        const auto known = stocked_class.find(stocked);
        if (known != stocked_class.end()) return known->second;
        return stocked_class.emplace(stocked, class_of(stocked)).first->second;
    };
    // Every loop removes at least its start record, every step of a walk the
    // record it takes, all of them records of the group's junctions: their
    // records bound both.  Running past the bound takes back what the call
    // added to out and raises 965003.
    const int records = starts.records();
    auto overrun = [&](RING_header_s* unfinished, int line) {
        if (unfinished) RING_delete(unfinished);
        for (size_t i = added.size(); i-- > 0;) {
            take_back(out, added[i], made[i]);
        }
        merrow1::infinite_loop(__FILE__, line);
    };

    for (int loops = 0;; ++loops) {
        const Start start = starts.next();
        if (!start.node) break;
        if (loops > records) overrun(nullptr, __LINE__);
        SPLIT_CHAIN_s* first = record_of(start.node);
        RING_header_s* loop = nullptr;
        bool walked = false;
        if (whole_closed_chain(first)) {
            // A closed chain met by nothing else: taken as it is.
            loop = chain_of(first);
            RING_header_s* far = nullptr;
            RING_node_s* twin = NextSplitChain(first, &far);
            starts.remove(start.ends, start.node);
            starts.remove(far, twin);
            stocked_class.clear();
            main_of(loop)->direction = CHAIN_direction_of_chain(loop);
            CHAIN_loop_class_s* record = loop_class(loop);
            record->all_dummy = CHAIN_is_chain_all_dummy(loop) ? 1 : 0;
            record->material_class = class_of(loop);
            if (main_of(loop)->kind == TRACE_CHAIN) {
                main_of(loop)->kind = OFFSET_CHAIN;
                met_traced = true;
                if (RING_header_s* stocked = ChainStockedFrom(loop)) RING_put_header_app_data(loop, APP_DATA_COPIED_FROM, stocked);
            }
        } else {
            walked = true;
            loop = CHAIN_create_from_chain(chain_of(first), out->pool);
            loop_class(loop);
            CHAIN_kind_t kind = main_of(loop)->kind;
            RING_header_s* ends = start.ends;
            RING_node_s* node = start.node;
            // The walk deletes each record it takes: the previous piece is
            // kept as a copy.
            SPLIT_CHAIN_s previous_end{};
            const SPLIT_CHAIN_s* previous = nullptr;
            RING_header_s* only_chain = chain_of(first);
            RING_header_s* last_chain = only_chain;
            const bool started_at_chain_start = std::fabs(run_start(first)) <= kParameterSlack;
            // The loop is made of connecting pieces alone while every piece
            // walked is one (whatever the merge callback keeps in the byte).
            bool all_dummy = true;
            // Without following chains: the junctions the walk has reached,
            // with the loop's vertex there, to close a loop where the walk
            // comes back to one before its end (loops touching at a point).
            std::vector<std::pair<const RING_header_s*, RING_node_s*>> visits;
            std::unordered_map<const RING_header_s*, size_t> visited;  // junction -> place in visits
            for (int steps = 0; node; ++steps) {
                if (steps > records) overrun(loop, __LINE__);
                SPLIT_CHAIN_s* end = record_of(node);
                RING_header_s* chain = chain_of(end);
                if (chain != only_chain) only_chain = nullptr;
                last_chain = chain;
                const int before = loop->count;
                if (main_of(chain)->kind == TRACE_CHAIN) {
                    met_traced = true;
                    kind = OFFSET_CHAIN;
                    if (RING_header_s* stocked = static_cast<RING_header_s*>(APP_DATA__ask_app_data(chain->app_data, APP_DATA_STOCKED_FROM)))
                        loop_class(loop)->material_class = class_of_stocked(stocked);
                }
                ChainMerge(loop, end->piece, end->reversed, merge);
                if (all_dummy && !piece_all_dummy(end->piece)) all_dummy = false;
                if (previous && !continues(previous, end) && before > 0 && loop->count >= before) {
                    RING_node_s* joint = loop->last;
                    for (int k = loop->count; k > before && joint; --k) joint = joint->previous;
                    if (joint) RING_put_node_app_data(loop, joint, APP_DATA_SPLIT_VERTEX_SOURCE, end);
                }
                const SPLIT_CHAIN_s walked_end = *end;
                previous_end = walked_end;
                previous = &previous_end;
                if (steps == 0 && loop->first) visits.emplace_back(ends, loop->first);
                if (steps == 0 && loop->first) visited[ends] = 0;
                starts.remove(ends, node);
                end = nullptr;
                const bool closed = ends_meet(loop);
                // Next piece: the twin in the far junction, then its neighbour.
                RING_header_s* far = nullptr;
                RING_node_s* twin = NextSplitChain(&walked_end, &far);
                if (!follow_chains && !closed && far && loop->last) {
                    const auto seen = visited.find(far);
                    if (seen != visited.end() && seen->second > 0) {
                        const size_t at = seen->second;
                        if (RING_header_s* part = split_off_loop(loop, visits[at].second, side, out->pool, merge)) {
                            added.push_back(RING_insert_after(out, out->last, part));
                            made.push_back(true);
                            CHAIN_debug_report(kReportChain, "ChainsMinimalLoops: count = %d", out, nullptr);
                        }
                        for (size_t k = at + 1; k < visits.size(); ++k) visited.erase(visits[k].first);
                        visits.resize(at + 1);
                    } else if (seen == visited.end()) {
                        visited[far] = visits.size();
                        visits.emplace_back(far, loop->last);
                    }
                }
                if (!twin || far->count < 2) {
                    starts.remove(far, twin);
                    break;
                }
                RING_node_s* next = nullptr;
                RING_node_s* probe = side == RIGHT ? twin->next : twin->previous;
                for (int k = 1; follow_chains && k < far->count;
                     ++k, probe = side == RIGHT ? probe->next : probe->previous) {
                    if (continues(&walked_end, record_of(probe))) {
                        next = probe;
                        break;
                    }
                }
                // The neighbour of the twin on the material side follows the
                // face of the material; without following chains, the one on
                // the other side follows the face of the lowest level, so
                // that loops touching at a point come apart there.
                const bool after = (side == RIGHT) == follow_chains;
                if (!next && !closed) next = after ? twin->next : twin->previous;
                starts.remove(far, twin);
                ends = far;
                node = next;
            }
            if (loop->count >= 2) {
                const CHAIN_main_data_s* last_data = main_of(last_chain);
                if (last_data) *main_of(loop) = *last_data;
                main_of(loop)->material_side = side;
                main_of(loop)->kind = kind;
                if (ends_meet(loop)) {
                    if (!is_closed(loop)) main_of(loop)->direction = 0;
                    merge(loop->first, nullptr, loop, loop->last, loop);
                    merge(nullptr, nullptr, nullptr, nullptr, loop);
                    CHAIN_close(loop, merrow1::kCloseGap);
                    if (!started_at_chain_start) RING_put_node_app_data(loop, loop->first, APP_DATA_SPLIT_VERTEX_SOURCE, first);
                    if (only_chain) RING_put_header_app_data(loop, APP_DATA_STOCKED_FROM, only_chain);
                    main_of(loop)->direction = CHAIN_direction_of_chain(loop);
                }
            }
            loop_class(loop)->all_dummy = all_dummy ? 1 : 0;
        }
        if (met_traced && loop_class(loop)->all_dummy) {
            // A loop of connecting pieces alone after a traced piece: the
            // trace is not to be trusted and the call gives nothing.
            for (size_t i = added.size(); i-- > 0;) {
                take_back(out, added[i], made[i]);
            }
            added.clear();
            made.clear();
            if (walked) RING_delete(loop);
            emptied = true;
            break;
        }
        const bool inside = material_inside(main_of(loop)->direction, main_of(loop)->material_side);
        if ((met_traced && inside && loop_class(loop)->material_class == 0) || loop->count < 2) {
            if (walked) RING_delete(loop);
            continue;
        }
        added.push_back(RING_insert_after(out, out->last, walked ? loop : RING_dup_reference(loop)));
        made.push_back(walked);
        CHAIN_debug_report(kReportChain, "ChainsMinimalLoops: count = %d", out, nullptr);
    }
    // The group is done: its junctions lose their remaining records (the
    // junctions of groups walked before hold none).  Without the group, every
    // marked junction of the network, and no chain of the list keeps a mark.
    if (index && group) {
        for (RING_node_s* junction : *group)
            if (marked(junction) && RING_ask_node_subring(junction))
                RING_delete_all_nodes(RING_ask_node_subring(junction));
        return !emptied && !added.empty() ? 1 : 0;
    }
    for (RING_node_s* list_node : ring_nodes(intersections))
        RING_delete_app_data_of_node(intersections, list_node, CHAIN_APP_DATA_SCRATCH_MARK);
    for (RING_node_s* junction : ring_nodes(network))
        if (marked(junction) && RING_ask_node_subring(junction)) RING_delete_all_nodes(RING_ask_node_subring(junction));
    return !emptied && !added.empty() ? 1 : 0;
}

}  // namespace

int ChainsMinimalLoops(RING_header_s* intersections, RING_header_s* network, SIDE side, RING_header_s* out,
                       CHAIN_vertex_source_callback_t merge) {
    MERROW1_REQUIRE(network, "DUE_TO_POINTER_TO_SPLITCHAINS_BEING_NULL", 0);
    if (!out) return 0;
    return minimal_loops(intersections, network, side, out, merge, true);
}

namespace {

// ---------------------------------------------------------------------------
// Exact levels of the faces of a split-chain network
//
// A face's level is the sum, over the closed chains with a material side, of
// the chain's winding number about the face, counted up for LEFT and down
// for RIGHT: crossing a chain into its material side raises it by one.  It
// differs by a constant from the material layers of the face (the layers the
// chains with their material outside lay far away), so comparing levels
// compares layers.  Within a group of the network the interference indices
// are these levels up to one constant per group (an index is the level on
// the free side of its record); the constant is found exactly at one anchor
// junction whose pieces all leave from the very point of the junction (from
// vertices on it, else from inside segments taken to run through it): the
// face beside that point in the direction (1, 0+) is the one after the last
// branch in the exact counter-clockwise order from there, and its level is
// the exact winding of every chain about the point moved that way.  Groups
// that do not meet are thereby levelled against each other: a chain of
// another group winds about the anchor as about any point of its group.
//
// The steps of the region's boundary (CHAIN__boolean_older with
// CHAIN__OLDER_REGION or CHAIN__OLDER_BELOW_FAR):
// 1. index every group of the network (the flood of ChainInterfIndex) and
//    level it at its anchor; a group with an open chain, a break in its
//    count or no anchor keeps its own lowest index, as before;
// 2. cut every junction's records into runs of coincident pieces and take
//    the levels of the faces of width before and after each run;
// 3. the lowest level over all runs is the one the region lies at;
// 4. of each run keep one piece with its material towards the higher side
//    where the faces on its two sides are the lowest and above it, none
//    otherwise;
// 5. walk the loops of each group round the faces of the lowest level.

int step_side(const SPLIT_CHAIN_s* end) {
    const CHAIN_main_data_s* data = main_of(chain_of(end));
    if (!data || data->ethereal) return 0;
    const int side = effective_side(end);
    return side == LEFT || side == RIGHT ? side : 0;
}
// Index of the face just before (clockwise of) and just after the record.
int level_before(const SPLIT_CHAIN_s* end) { return step_side(end) == RIGHT ? end->index + 1 : end->index; }
int level_after(const SPLIT_CHAIN_s* end) { return step_side(end) == LEFT ? end->index + 1 : end->index; }

// The segments that the junction's records find its point inside of.
std::vector<const RING_node_s*> segments_through(RING_node_s* junction) {
    std::vector<const RING_node_s*> through;
    for (RING_node_s* node : ring_nodes(RING_ask_node_subring(junction))) {
        const SPLIT_CHAIN_s* end = record_of(node);
        const POINT_ON_CHAIN_s* place = end->reversed ? end->piece->end : end->piece->start;
        if (place && place->inside && place->node) through.push_back(place->node);
    }
    return through;
}

// Index of the face beside the junction's point in the direction (1, 0+);
// false when some piece does not leave from the point (from a vertex on it,
// or, with `inside`, from inside a segment), or when the junction's order of
// records is not the exact order of their branches.
bool anchor_index(RING_node_s* junction, bool inside, int* index) {
    RING_header_s* ends = RING_ask_node_subring(junction);
    const SPLIT_JUNCTION_s* data = junction_data(junction);
    if (!ends || !data || ends->count < 2) return false;
    const std::vector<RING_node_s*> nodes = ring_nodes(ends);
    const size_t n = nodes.size();
    std::vector<CHAIN__branch_s> branches(n);
    for (size_t i = 0; i < n; ++i)
        if (!merrow1::split_end_branch(record_of(nodes[i]), data->point, inside, &branches[i])) return false;
    // Branches that all leave as one (a chain run there and back) bound
    // faces of no width between them and one face all round, which follows
    // the last record of the ring from its first.
    bool all_tie = true;
    for (size_t i = 1; i < n && all_tie; ++i) all_tie = CHAIN__compare_branches(branches[i], branches[0]) == 0;
    if (all_tie) {
        *index = level_after(record_of(nodes[n - 1]));
        return true;
    }
    // The last branch in the order; of several that leave as one, the last
    // in the ring, so the face after it is a face of width.
    size_t last = 0;
    for (size_t i = 1; i < n; ++i)
        if (CHAIN__compare_branches(branches[i], branches[last]) > 0) last = i;
    for (size_t k = 1; k < n && CHAIN__compare_branches(branches[(last + 1) % n], branches[last]) == 0; ++k)
        last = (last + 1) % n;
    // From the record after it round to it the ring must rise.
    for (size_t k = 1; k < n; ++k) {
        const size_t i = (last + k) % n, j = (last + k + 1) % n;
        if (CHAIN__compare_branches(branches[i], branches[j]) > 0) return false;
    }
    if (CHAIN__compare_branches(branches[(last + 1) % n], branches[last]) == 0) return false;
    *index = level_after(record_of(nodes[last]));
    return true;
}

// The closed chains that lay material, in an interference grid by their boxes.
class LevelChains {
public:
    LevelChains(const RING_header_s* intersections, CMEM_pool_s* pool) {
        double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
        std::vector<std::pair<RING_header_s*, std::array<double, 6>>> boxed;
        for (RING_node_s* list_node : ring_nodes(intersections)) {
            RING_header_s* points = RING_ask_node_subring(list_node);
            RING_header_s* chain = points ? static_cast<RING_header_s*>(points->main_data) : nullptr;
            const CHAIN_main_data_s* data = main_of(chain);
            if (!data || data->ethereal || chain->count < 2 || !is_closed(chain)) continue;
            if (data->material_side != LEFT && data->material_side != RIGHT) continue;
            CHAIN_BOX_s box;
            if (!ChainBox(chain, nullptr, &box)) continue;
            // Widened so that rounding of the box never leaves out a chain
            // about which the point could wind: by a share of its size, and
            // by a hair where it has none.
            constexpr double kBoxRounding = 1e-9, kLeastWidening = 1e-300;
            const double w =
                kBoxRounding * (box.max_normal - box.min_normal + box.max_along - box.min_along) + kLeastWidening;
            const std::array<double, 6> b{box.min_normal - w, box.min_along - w, 0.0,
                                          box.max_normal + w, box.max_along + w, 0.0};
            for (int k = 0; k < 2; ++k) lo[k] = std::min(lo[k], b[k]), hi[k] = std::max(hi[k], b[3 + k]);
            boxed.emplace_back(chain, b);
            const DIRECTION direction = CHAIN_direction_of_chain(chain);
            if (direction != 0 && !material_inside(direction, data->material_side)) m_far = true;
        }
        if (boxed.empty()) return;
        const double extent[6] = {lo[0], lo[1], 0.0, hi[0], hi[1], 0.0};
        m_grid = GRID3D_create_empty(pool, extent, 100, ask_mark, set_mark);
        m_found = CARR_create_pool_ptrarray(100, 50, pool);
        for (auto& [chain, b] : boxed) {
            Item* item = CMEM_NEW(pool, Item);
            item->chain = chain;
            item->mark = 0;
            GRID3D_insert_into_grid(m_grid, item, b.data());
        }
    }
    // Whether some chain has its material outside, which it lays far away.
    bool lay_material_far() const { return m_far; }
    // The level of the face beside the point in the direction (1, 0+), the
    // segments ending at the `through` nodes taken to run through the point.
    int level_beside(const double p[2], const std::vector<const RING_node_s*>& through) {
        if (!m_grid) return 0;
        const double box[6] = {p[0], p[1], 0.0, p[0], p[1], 0.0};
        GRID3D_ask_interference(box, m_grid, m_found);
        int level = 0;
        for (int i = 0; i < CARR_ask_ptrarray_length(m_found); ++i) {
            const RING_header_s* chain = static_cast<Item*>(CARR_ask_ptrarray_item(m_found, i))->chain;
            const int sign = main_of(chain)->material_side == LEFT ? 1 : -1;
            level += sign * CHAIN__winding_number_beside(chain, p, through.data(), static_cast<int>(through.size()));
        }
        return level;
    }

private:
    struct Item {
        RING_header_s* chain;
        int mark;
    };
    static int ask_mark(const void* record) { return static_cast<const Item*>(record)->mark; }
    static void set_mark(void* record, int mark) { static_cast<Item*>(record)->mark = mark; }
    GRID3D_s* m_grid = nullptr;
    CARR_array_t* m_found = nullptr;
    bool m_far = false;
};

// One group of the network with its indices.
struct LevelGroup {
    int pass = 0;
    std::vector<RING_node_s*> junctions;
    int lowest = 0;     // lowest index
    bool known = false;  // whether offset is known
    int offset = 0;     // level = index + offset
};

// Whether the group's indices count the layers of closed chains only, and
// the same all round (no open chain, every junction consistent).
bool countable(const LevelGroup& group) {
    for (RING_node_s* junction : group.junctions)
        for (RING_node_s* node : ring_nodes(RING_ask_node_subring(junction))) {
            const RING_header_s* chain = chain_of(record_of(node));
            if (!chain || (!is_closed(chain) && step_side(record_of(node)) != 0)) return false;
        }
    return true;
}

// Finds the group's offset at its first anchor junction.
void level_group(LevelGroup& group, bool consistent, LevelChains& chains) {
    if (!consistent || !countable(group)) return;
    // A junction at vertices alone first; else one where some chain's
    // segment was found to run through the point.
    for (bool inside : {false, true})
        for (RING_node_s* junction : group.junctions) {
            int index = 0;
            if (!anchor_index(junction, inside, &index)) continue;
            group.offset = chains.level_beside(junction_data(junction)->point, segments_through(junction)) - index;
            group.known = true;
            return;
        }
}

// What a caller indexing every group of a network that does not change
// meanwhile keeps from one group to the next: the network's nodes, where the
// seed search stopped and the records of the network.
struct GroupSeeds {
    explicit GroupSeeds(const RING_header_s* network) : nodes(ring_nodes(network)), records(record_count(network)) {}
    std::vector<RING_node_s*> nodes;
    size_t from = 0;
    int records;
};

// Indexes the next group of the network and levels it; false when no group
// is left.
bool next_level_group(RING_header_s* network, LevelChains& chains, LevelGroup& group, GroupSeeds* seeds = nullptr) {
    RING_node_s* first = seeds ? next_group_seed(network, &seeds->nodes, &seeds->from) : next_group_seed(network);
    if (!first) return false;
    group.pass = ++*pass_counter(network);
    bool consistent = true;
    group.lowest = flood_group(network, first, group.pass, group.junctions, &consistent, seeds ? seeds->records : -1);
    level_group(group, consistent, chains);
    return true;
}

// Records of coincident pieces: between the same junctions, leaving together
// or two pieces lying within the junction distance of each other all along
// (whose tangents may part where a corner of one lies a little off the
// junction), between which no face of width lies.
bool coincident(const SPLIT_CHAIN_s* a, const SPLIT_CHAIN_s* b) {
    return a != b && a->far_junction == b->far_junction &&
           (merrow1::split_ends_run_together(a, b) ||
            (a->piece != b->piece && merrow1::split_ends_lie_together(a, b)));
}

// Keeps of every levelled group the pieces that bound the faces of the
// lowest level (see below) against the others: of the pieces that run together, one
// with its material towards the higher side when the faces on their two
// sides are the lowest and above it, none otherwise (a zero-width face
// between them is no face).  Pieces laying no material stay where both sides
// are at the lowest level.  A group that could not be levelled keeps the
// pieces of its own lowest index.
void keep_region_records(const std::vector<LevelGroup>& groups, bool below_far) {
    // The runs of coincident records at every junction of the levelled
    // groups, each from a record that does not continue a run, with the
    // levels of the faces of width before and after it.
    struct Run {
        RING_header_s* ends;
        std::vector<RING_node_s*> nodes;
        int before, after;
        int offset;
    };
    std::vector<Run> runs;
    std::vector<std::pair<RING_header_s*, RING_node_s*>> doomed;
    for (const LevelGroup& g : groups) {
        for (RING_node_s* junction : g.junctions) {
            RING_header_s* ends = RING_ask_node_subring(junction);
            const std::vector<RING_node_s*> nodes = ring_nodes(ends);
            const size_t n = nodes.size();
            if (!g.known) {
                for (RING_node_s* node : nodes)
                    if (record_of(node)->index != g.lowest) doomed.emplace_back(ends, node);
                continue;
            }
            size_t from = 0;
            while (from < n && coincident(record_of(nodes[(from + n - 1) % n]), record_of(nodes[from]))) ++from;
            if (from == n) from = 0;
            for (size_t k = 0; k < n;) {
                Run run{ends, {nodes[(from + k) % n]}, 0, 0, g.offset};
                while (k + run.nodes.size() < n &&
                       coincident(record_of(run.nodes.back()), record_of(nodes[(from + k + run.nodes.size()) % n])))
                    run.nodes.push_back(nodes[(from + k + run.nodes.size()) % n]);
                k += run.nodes.size();
                run.before = level_before(record_of(run.nodes.front())) + g.offset;
                run.after = level_after(record_of(run.nodes.back())) + g.offset;
                runs.push_back(std::move(run));
            }
        }
    }
    // The lowest level of a face of width over the whole plane; with
    // below_far, only a level below the plane's far away (0, where every
    // winding is 0): where no face lies lower than that, none is kept.
    int lowest = below_far ? -1 : INT_MAX;
    for (const Run& run : runs) lowest = std::min({lowest, run.before, run.after});

    std::unordered_set<const PART_OF_CHAIN_s*> decided;
    auto drop = [&](RING_header_s* ends, RING_node_s* node) {
        doomed.emplace_back(ends, node);
        RING_header_s* far = nullptr;
        if (RING_node_s* twin = NextSplitChain(record_of(node), &far)) doomed.emplace_back(far, twin);
    };
    for (const Run& run : runs) {
        std::vector<RING_node_s*> open;
        for (RING_node_s* node : run.nodes)
            if (!decided.count(record_of(node)->piece)) open.push_back(node);
        if (open.size() != run.nodes.size()) {
            // Met again from its far junction, where it was decided, unless
            // the runs at its two ends differ: then piece by piece.
            for (RING_node_s* node : open) {
                if (!decided.insert(record_of(node)->piece).second) continue;
                const int a = level_before(record_of(node)) + run.offset;
                const int b = level_after(record_of(node)) + run.offset;
                if (!(std::min(a, b) == lowest && (std::max(a, b) > lowest || step_side(record_of(node)) == 0)))
                    drop(run.ends, node);
            }
            continue;
        }
        RING_node_s* kept = nullptr;
        bool keep_all = false;
        if (std::min(run.before, run.after) == lowest && std::max(run.before, run.after) > lowest) {
            const int wanted = run.after > run.before ? LEFT : RIGHT;
            for (RING_node_s* node : run.nodes)
                if (!kept && step_side(record_of(node)) == wanted) kept = node;
        } else if (run.before == lowest && run.after == lowest) {
            keep_all = true;
            for (RING_node_s* node : run.nodes) keep_all = keep_all && step_side(record_of(node)) == 0;
        }
        // Both ends of one piece may run together (a chain run there and
        // back): each piece goes once, the kept one not at all.
        if (kept) decided.insert(record_of(kept)->piece);
        for (RING_node_s* node : run.nodes)
            if (decided.insert(record_of(node)->piece).second && !keep_all) drop(run.ends, node);
    }
    for (auto& [ends, node] : doomed) RING_delete_node(ends, node);
}

}  // namespace

void CHAIN__boolean_older(RING_header_s* chains, RING_header_s* list2, CHAIN__older_pairs_t pairs, SIDE side,
                          RING_header_s* out, CHAIN_vertex_source_callback_t merge, const char* pool_name,
                          int block_size, const char* group_label) {
    merrow1::run_converting([&] {
        MERROW1_SCRATCH_POOL_SIZED(scratch, pool_name, block_size);
        RING_header_s* intersections = RING_create_in_pool(nullptr, RING_TYPE_LIST, scratch);
        RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, scratch);
        RING_set_sub_ring_delfunc(network, nullptr);
        RING_header_s* set = chains;
        if (chains->type == RING_TYPE_CHAIN) {
            set = CHAIN_create_boolean_set(scratch, nullptr);
            CHAIN_add_chain_to_list(set, chains);
        }
        if (list2)
            ChainsToChainsInt(set, list2, intersections, true);
        else if (pairs & CHAIN__OLDER_PAIRS_BETWEEN)
            ChainsIntersectionBetween(set, intersections, false);
        else
            ChainsIntersection(set, intersections);
        ChainsSplit(intersections, network);
        int index = 0;
        const int bound = network->count;
        if (!(pairs & (CHAIN__OLDER_REGION | CHAIN__OLDER_BELOW_FAR))) {
            for (int groups = 0; ChainInterfIndex(network, &index);) {
                if (++groups > bound) MERROW1_INFINITE_LOOP();
                ChainsMinimalLoops(intersections, network, side, out, merge);
                if (group_label) CHAIN_debug_report(kReportChain, group_label, out, nullptr);
            }
            return;
        }
        // The region's boundary: every group is indexed and levelled first,
        // for the lowest level is the lowest over all of them; then the loops
        // of each group are walked as one group is walked alone.
        LevelChains chains(intersections, scratch);
        std::vector<LevelGroup> groups;
        GroupSeeds seeds(network);
        for (LevelGroup group; next_level_group(network, chains, group, &seeds); group = LevelGroup()) {
            if (groups.size() >= static_cast<size_t>(bound)) MERROW1_INFINITE_LOOP();
            groups.push_back(std::move(group));
        }
        keep_region_records(groups, (pairs & CHAIN__OLDER_BELOW_FAR) && chains.lay_material_far());
        for (RING_node_s* junction : ring_nodes(network))
            RING_delete_app_data_of_node(network, junction, CHAIN_APP_DATA_SCRATCH_MARK);
        const WalkIndex walks(intersections, network, walk_side(intersections, side));
        for (const LevelGroup& group : groups) {
            for (RING_node_s* junction : group.junctions) mark(network, junction);
            *pass_counter(network) = group.pass;
            // A group that could not be levelled is walked as before.
            minimal_loops(intersections, network, side, out, merge, !group.known, &walks, &group.junctions);
            if (group_label) CHAIN_debug_report(kReportChain, group_label, out, nullptr);
        }
    });
}

void CHAIN__validate_shapes_from_boolean(const RING_header_s* input, RING_header_s* out, RING_node_s* before_first) {
    if (!out) return;
    const bool all_closed = input_all_closed(input);
    RING_node_s* node = before_first ? before_first->next : out->first;
    // The nodes from the first new one to the end of the list; a bound by the
    // list's count keeps a damaged (circular) list from holding the walk.
    for (int steps = out->count; node && steps > 0; --steps) {
        RING_node_s* next = node == out->last ? nullptr : node->next;
        RING_header_s* chain = RING_ask_node_subring(node);
        const char* reason = nullptr;
        bool open = false;
        if (!chain) {
            reason = "DUE_TO_OUTPUT_CHAIN_POINTER_BEING_NULL";
        } else if (chain->count < 2) {
            reason = "DUE_TO_OUTPUT_CHAIN_BEING_EMPTY_OR_A_POINT";
        } else if (all_closed && !is_closed(chain)) {
            reason = "DUE_TO_OUTPUT_CHAIN_BEING_OPEN_WHEN_IT_SHOULD_BE_CLOSED";
            open = true;
        }
        if (reason) {
            MERROW1_NOTE_FAILURE(reason);
            CHAIN_debug_report(kReportChain, "CHAIN__validate_shapes_from_boolean: chain removed", chain, nullptr);
            if (open)
                CHAIN_debug_report(kReportChain, "CHAIN__validate_shapes_from_boolean: input chain(s)",
                                   const_cast<RING_header_s*>(input), nullptr);
            RING_delete_node(out, node);
        }
        node = next;
    }
}

void CHAIN__keep_traced_free_loops(const RING_header_s* trace, SIDE side, int free_level, RING_header_s* out) {
    if (!trace || !is_closed(trace) || !main_of(trace)) return;
    if (side != RIGHT && side != LEFT) return;
    // With the material at infinity, each turn of the trace about a point in
    // its free sense takes one layer off: the free places are those it winds
    // about once that way.  The level of a face is the trace's winding about
    // it, counted up for LEFT and down for RIGHT.
    const int free_winding = side == RIGHT ? 1 : -1;
    const int winding = (main_of(trace)->material_side == LEFT ? 1 : -1) * free_level;
    if (winding == free_winding) return;
    RING_node_s* node = out->first;
    for (int steps = out->count; node && steps > 0; --steps) {
        RING_node_s* next = node == out->last ? nullptr : node->next;
        RING_header_s* loop = RING_ask_node_subring(node);
        const auto* record = loop ? static_cast<const CHAIN_loop_class_s*>(
                                        APP_DATA__ask_app_data(loop->app_data, CHAIN_APP_DATA_LOOP_CLASS))
                                  : nullptr;
        if (record && record->material_class == 0 && loop->count >= 2 && is_closed(loop)) {
            // The trace taken whole leaves without being deleted.
            if (loop == trace && loop->references <= 1)
                RING_disconnect_node(out, node);
            else
                RING_delete_node(out, node);
        }
        node = next;
    }
}

int CHAIN__interf_index_levelled(RING_header_s* intersections, RING_header_s* network, int* index, int* free_level,
                                 bool* levelled) {
    if (levelled) *levelled = false;
    if (!network) return 0;
    LevelChains chains(intersections, network->pool);
    LevelGroup group;
    if (!next_level_group(network, chains, group)) return 0;
    SplitChainRemoveIndex(network, group.lowest, group.pass);
    CHAIN__remove_unneeded_splitpoints(network);
    if (index) *index = group.lowest;
    if (group.known) {
        if (free_level) *free_level = group.lowest + group.offset;
        if (levelled) *levelled = true;
    }
    return 1;
}

// Chains of out after the node (null: from the first).
int CHAIN__count_after(const RING_header_s* out, const RING_node_s* before_first) {
    int total = 0;
    const RING_node_s* node = before_first ? before_first->next : out->first;
    for (int steps = out->count; node && steps > 0; --steps) {
        ++total;
        if (node == out->last) break;
        node = node->next;
    }
    return before_first == out->last ? 0 : total;
}

// An input chain that the newer engine handed on as it is (untouched by any
// crossing) is held in `out` by a reference of its own, as the older engine
// holds it: deleting `out` or the input then leaves the other whole.
void CHAIN__hold_reused_inputs(const RING_header_s* chains, RING_header_s* out, RING_node_s* before_first) {
    if (before_first && before_first == out->last) return;
    RING_node_s* node = before_first ? before_first->next : out->first;
    for (int steps = out->count; node && steps > 0; --steps) {
        RING_header_s* loop = RING_ask_node_subring(node);
        bool input = loop && loop == chains;
        if (loop && chains->type != RING_TYPE_CHAIN)
            for (RING_node_s* in : ring_nodes(chains)) input = input || RING_ask_node_subring(in) == loop;
        if (input) RING_dup_reference(loop);
        if (node == out->last) break;
        node = node->next;
    }
}

int ChainsBoolean(RING_header_s* chains, SIDE side, RING_header_s* out, CHAIN_vertex_source_callback_t merge) {
    MERROW1_REQUIRE(chains && out, "DUE_TO_POINTER_TO_CHAIN_BEING_NULL", 0);
    MERROW1_REQUIRE_LIST(chains, 0);
    MERROW1_REQUIRE_LIST(out, 0);
    if (!CHAIN__input_usable(chains, "ChainsBoolean", CHAIN_INPUT_FINITE)) return 0;
    if (!chains->first || chains->count < 1) return 0;
    RING_node_s* before_first = out->last;
    if (!CHAIN_ask_use_new_boolean()) {
        CHAIN_debug_report(kReportChain, "ChainsBoolean -- Start", chains, nullptr);
        // Chains of several region sets are read as the union of the sets:
        // where one set lays material at infinity, only faces below the
        // level far away are the region's, so where the sets' material fills
        // every face (a pocket filled by an island of another set) nothing
        // bounds it.  The chains of one set count their layers alone, and its
        // lowest faces bound the region.
        const CHAIN__older_pairs_t pairs = union_pairs(CHAIN__region_sets_lay_material_at_infinity(chains));
        CHAIN__boolean_older(chains, nullptr, pairs, side, out, merge, "CHAIN-ChainsBoolean-", 0, "ChainsBoolean");
        CHAIN__validate_shapes_from_boolean(chains, out, before_first);
        CHAIN_debug_report(kReportChain, "ChainsBoolean -- End", out, nullptr);
    } else {
        CHAIN_find_minimal_loops(chains, CHAIN_POLY_SEG_INTERSECT_ALL, side, merge, out);
        CHAIN__hold_reused_inputs(chains, out, before_first);
        CHAIN_debug_report(kReportChain, "ChainsBoolean uses poly_seg", out, nullptr);
        CHAIN__validate_shapes_from_boolean(chains, out, before_first);
    }
    return CHAIN__count_after(out, before_first) > 0 ? 1 : 0;
}

namespace {

// Whether one of the two lists, read alone as the region its chains bound,
// lays material at infinity: each list is numbered as one region set for
// the question, and the callers' ids go back.
bool lists_lay_material_at_infinity(RING_header_s* list1, RING_header_s* list2) {
    return merrow1::run_converting([&] {
        MERROW1_SCRATCH_POOL(scratch, "CHAIN-ChainsBooleanTwoLists-sets");
        RING_header_s* both = CHAIN_create_boolean_set(scratch, nullptr);
        merrow1::ChainFieldsGuard ids(merrow1::kChainRegionFields);
        int id = 0;
        for (RING_header_s* list : {list1, list2}) {
            ++id;
            for (RING_node_s* node : ring_nodes(list)) {
                RING_header_s* chain = RING_ask_node_subring(node);
                CHAIN_main_data_s* data = main_of(chain);
                if (!data) continue;
                ids.save_if_chain(chain);
                data->region_set_id = id;
                RING_insert_after(both, both->last, chain);
            }
        }
        return CHAIN__region_sets_lay_material_at_infinity(both);
    });
}

}  // namespace

// Each list is read as one region whose own chains do not meet (they are not
// intersected with each other), and the result bounds the union of the two
// on the material side, as ChainsBoolean bounds the union of region sets:
// every group of the network is levelled against the others by the exact
// windings, so a shape of one list lying inside or outside the other's
// without meeting it is judged by the faces about it; where one list alone
// lays material at infinity, only faces below the level far away are the
// region's.
int CHAIN_boolean_two_lists(RING_header_s* list1, RING_header_s* list2, SIDE side, RING_header_s* out,
                            CHAIN_vertex_source_callback_t merge) {
    MERROW1_REQUIRE(list1 && list2 && out, "DUE_TO_POINTER_TO_CHAIN_BEING_NULL", 0);
    if (!CHAIN__input_usable(list1, "CHAIN_boolean_two_lists", CHAIN_INPUT_LIST) ||
        !CHAIN__input_usable(list2, "CHAIN_boolean_two_lists", CHAIN_INPUT_LIST))
        return 0;
    if (!list1->first) return 0;
    if (side == 0) {
        const RING_header_s* first = RING_ask_node_subring(list1->first);
        if (const CHAIN_main_data_s* data = main_of(first)) side = data->material_side;
    }
    RING_node_s* before_first = out->last;
    const CHAIN__older_pairs_t pairs = union_pairs(lists_lay_material_at_infinity(list1, list2));
    CHAIN__boolean_older(list1, list2, pairs, side, out, merge, "CHAIN-ChainsBooleanTwoLists-", 0, "ChainsBoolean");
    return CHAIN__count_after(out, before_first) > 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Minimal-area loops by a directed walk

namespace {

struct Held {
    RING_header_s* ends;
    RING_node_s* node;
};

// The record and its twin, each deleted once.
void remove_with_twins(const std::vector<Held>& records) {
    std::vector<Held> doomed;
    for (const Held& held : records) {
        RING_header_s* far = nullptr;
        RING_node_s* twin = NextSplitChain(record_of(held.node), &far);
        doomed.push_back(held);
        if (twin) doomed.push_back({far, twin});
    }
    std::vector<RING_node_s*> done;
    for (const Held& held : doomed) {
        if (std::find(done.begin(), done.end(), held.node) != done.end()) continue;
        done.push_back(held.node);
        RING_delete_node(held.ends, held.node);
    }
}

// Removes, until none is left, every junction whose records all leave it or
// all arrive at it, with the twins of its records; empty junctions go too.
void prune(RING_header_s* network) {
    // Every repetition after the first removes at least one record.
    const int records = record_count(network);
    for (int round = 0, changed = 1; changed; ++round) {
        if (round > records + 1) MERROW1_INFINITE_LOOP();
        changed = 0;
        for (RING_node_s* junction : ring_nodes(network)) {
            RING_header_s* ends = RING_ask_node_subring(junction);
            if (!ends || !ends->first) {
                RING_disconnect_node(network, junction);
                continue;
            }
            int leaving = 0;
            for (RING_node_s* node : ring_nodes(ends)) leaving += record_of(node)->reversed ? 0 : 1;
            if (leaving != 0 && leaving != ends->count) continue;
            std::vector<Held> all;
            for (RING_node_s* node : ring_nodes(ends)) all.push_back({ends, node});
            remove_with_twins(all);
            changed = 1;
        }
    }
}

}  // namespace

int ChainsFormMinAreaLoops(RING_header_s* chains, RING_header_s* out) {
    if (!CHAIN__input_usable(chains, "ChainsFormMinAreaLoops", CHAIN_INPUT_LIST)) return 0;
    if (!chains || !chains->first || chains->count < 1 || !out) return 0;
    CHAIN_debug_report(kReportChain, "ChainsFormMinAreaLoops: inChains", chains, nullptr);
    for (RING_node_s* node : ring_nodes(chains)) {
        RING_header_s* chain = RING_ask_node_subring(node);
        if (chain && main_of(chain) && main_of(chain)->material_side == LEFT) CHAIN_reverse(chain);
    }
    merrow1::run_converting([&] {
        MERROW1_SCRATCH_POOL(scratch, "CHAIN-ChainsFormMinAreaLoops-");
        RING_header_s* intersections = RING_create_in_pool(nullptr, RING_TYPE_LIST, scratch);
        RING_header_s* network = RING_create_in_pool(nullptr, RING_TYPE_LIST, scratch);
        RING_set_sub_ring_delfunc(network, nullptr);
        if (merrow1::flavour_intersections(chains, intersections) == 1) CHAIN_split(intersections, network);
        CHAIN_debug_report(kReportChain, "ChainsFormMinAreaLoops", intersections, nullptr);
        // Every round removes at least one record, every step of a walk takes
        // one: the records bound both.
        const int records = record_count(network);
        for (int round = 0;; ++round) {
            prune(network);
            Held start{nullptr, nullptr};
            for (RING_node_s* junction : ring_nodes(network)) {
                RING_header_s* ends = RING_ask_node_subring(junction);
                std::vector<RING_node_s*> leaving;
                for (RING_node_s* node : ring_nodes(ends))
                    if (!record_of(node)->reversed) leaving.push_back(node);
                if (leaving.size() == 1) {
                    start = {ends, leaving[0]};
                    break;
                }
                if (!start.node && !leaving.empty()) start = {ends, leaving[0]};
            }
            if (!start.node) break;
            if (round > records) MERROW1_INFINITE_LOOP();
            std::vector<RING_header_s*> junctions;
            std::vector<Held> walked;
            Held at = start;
            for (int steps = 0;; ++steps) {
                if (steps > records) MERROW1_INFINITE_LOOP();
                junctions.push_back(at.ends);
                walked.push_back(at);
                RING_header_s* far = nullptr;
                RING_node_s* twin = NextSplitChain(record_of(at.node), &far);
                RING_node_s* next = nullptr;
                if (twin && far->count >= 2) {
                    RING_node_s* probe = twin->previous;
                    for (int k = 1; k < far->count && probe != twin; ++k, probe = probe->previous)
                        if (!record_of(probe)->reversed) {
                            next = probe;
                            break;
                        }
                }
                if (!next) {
                    remove_with_twins(walked);
                    break;
                }
                const auto seen = std::find(junctions.begin(), junctions.end(), far);
                if (seen != junctions.end()) {
                    const std::vector<Held> cycle(walked.begin() + (seen - junctions.begin()), walked.end());
                    RING_header_s* loop = CHAIN_create_from_chain(chain_of(record_of(cycle.front().node)), out->pool);
                    main_of(loop)->direction = 0;
                    main_of(loop)->material_side = RIGHT;
                    main_of(loop)->kind = TRACE_CHAIN;
                    for (const Held& held : cycle) {
                        const SPLIT_CHAIN_s* end = record_of(held.node);
                        ChainMerge(loop, end->piece, end->reversed, MCHN_merge_segment_app_data);
                    }
                    remove_with_twins(cycle);
                    CHAIN_close(loop, merrow1::kCloseGap);
                    RING_insert_after(out, out->last, loop);
                    break;
                }
                at = {far, next};
            }
        }
    });
    CHAIN_debug_report(kReportChain, "ChainsFormMinAreaLoops: oChains", out, nullptr);
    return 1;
}
