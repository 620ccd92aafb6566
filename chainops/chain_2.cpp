// Boolean of a chain set: the engine chosen by the switch, then the output
// validation.
#include "chainops/chain_2.h"

#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_boolean.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_merge.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_split.h>
#include <merrow1/chain_trace.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_edit.h>
#include <pellam/mchn_merge.h>

#include "chain/chain_winding.h"
#include "internal/check.h"
#include "internal/flavour_intersections.h"
#include "internal/ring_check.h"
#include "internal/scratch_pool.h"
#include "internal/ring_nodes.h"

#include <stend/error.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

namespace {

bool is_closed(const RING_header_s* chain) { return chain->first && chain->last && chain->last->next == chain->first; }

// Debug code of a report that shows a chain or a list.
constexpr int kReportChain = 3;

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
CHAIN_main_data_s* data_of(const RING_header_s* chain) {
    return chain ? static_cast<CHAIN_main_data_s*>(chain->main_data) : nullptr;
}
RING_header_s* chain_of(const SPLIT_CHAIN_s* end) {
    return end && end->piece && end->piece->start ? end->piece->start->chain : nullptr;
}
int mirrored(int side) { return side == RIGHT ? LEFT : side == LEFT ? RIGHT : side; }
int effective_side(const SPLIT_CHAIN_s* end) {
    const CHAIN_main_data_s* data = data_of(chain_of(end));
    const int side = data ? data->material_side : 0;
    return end->reversed ? mirrored(side) : side;
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
    const CHAIN_main_data_s* data = data_of(source);
    if (!data) return 2;
    // A source without area (a chain closed back along itself) has no
    // direction of its own: the one it was given stands.
    DIRECTION direction = CHAIN_direction_of_chain(source);
    if (direction == 0) direction = data->direction;
    if (is_closed(source) && material_inside(direction, data->material_side)) return 1;
    if (is_closed(source) && data->kind != TRACE_CHAIN) return 0;
    return 2;
}

// Whether every segment a piece covers is a connecting (dummy) piece of a
// trace; a piece of a chain without trace records never is.
bool piece_all_dummy(const PART_OF_CHAIN_s* piece) {
    if (!piece || !piece->start || !piece->end || !piece->start->node || !piece->end->node) return false;
    const RING_header_s* chain = piece->start->chain;
    RING_node_s* node = piece->start->inside ? piece->start->node : piece->start->node->next;
    for (int k = 0; node && chain && k < chain->count; ++k, node = node->next) {
        const auto* record = static_cast<const CHAIN_trace_vertex_data_s*>(
            APP_DATA__ask_app_data(node->app_data, CHAIN_APP_DATA_TRACE_VERTEX));
        if (!record || !record->dummy) return false;
        if (node == piece->end->node) return true;
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

const double* vertex_point(const RING_node_s* vertex) {
    return static_cast<const CHAIN_vertex_data_s*>(vertex->main_data)->geometry;
}
bool ends_meet(const RING_header_s* chain) {
    if (!chain->first || chain->count < 2) return false;
    const double* a = vertex_point(chain->first);
    const double* b = vertex_point(chain->last);
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

// Deletes the record's node from whichever junction ring of the network
// holds it.
void remove_record(RING_header_s* ends, RING_node_s* node) {
    if (ends && node) RING_delete_node(ends, node);
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

// Start record of the next loop of the group (see ChainsMinimalLoops).
Start find_start(RING_header_s* intersections, RING_header_s* network, int pass, SIDE side) {
    Start start;
    for (RING_node_s* junction : ring_nodes(network)) {
        if (!in_group(junction, pass)) continue;
        RING_header_s* ends = RING_ask_node_subring(junction);
        if (ends->count == 1 && effective_side(record_of(ends->first)) == side) {
            start.ends = ends;
            start.node = ends->first;
            return start;
        }
    }
    for (RING_node_s* list_node : ring_nodes(intersections)) {
        if (APP_DATA__ask_app_data(list_node->app_data, CHAIN_APP_DATA_SCRATCH_MARK)) continue;
        RING_header_s* points = RING_ask_node_subring(list_node);
        RING_header_s* chain = points ? static_cast<RING_header_s*>(points->main_data) : nullptr;
        std::vector<RING_node_s*> order = ring_nodes(points);
        const CHAIN_main_data_s* data = data_of(chain);
        const bool along = !chain || is_closed(chain) || (data && data->material_side == side);
        if (!along) std::reverse(order.begin(), order.end());
        for (size_t i = 0; i < order.size() && !start.node; ++i) {
            auto* junction = static_cast<RING_node_s*>(APP_DATA__ask_app_data(order[i]->app_data, CHAIN_APP_DATA_SPLIT_JUNCTION));
            // A chain whose first point was indexed in another pass belongs
            // to another group; points of this group left without records
            // (reduced away) are passed over.
            if (i == 0 && (!junction || pass_of(junction) != pass)) break;
            if (!in_group(junction, pass)) continue;
            RING_header_s* ends = RING_ask_node_subring(junction);
            // Ties: the lowest parameter, then ring order.
            RING_node_s* best = nullptr;
            double best_key = 0;
            for (RING_node_s* node : ring_nodes(ends)) {
                const SPLIT_CHAIN_s* end = record_of(node);
                if (chain_of(end) != chain || effective_side(end) != side) continue;
                const double key = end->reversed ? -end->piece->end->parameter : end->piece->start->parameter;
                if (!best || key < best_key) best = node, best_key = key;
            }
            if (best) start.ends = ends, start.node = best;
        }
        if (start.node) return start;
        RING_put_node_app_data(intersections, list_node, CHAIN_APP_DATA_SCRATCH_MARK, list_node);
    }
    return start;
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

int ChainInterfIndex(RING_header_s* network, int* index) {
    if (!network) return 0;
    RING_node_s* first = nullptr;
    for (RING_node_s* junction : ring_nodes(network)) {
        if (marked(junction)) continue;
        const RING_header_s* ends = RING_ask_node_subring(junction);
        if (!ends || !ends->first) {
            mark(network, junction);
            continue;
        }
        first = junction;
        break;
    }
    if (!first) return 0;
    const int pass = ++*pass_counter(network);

    // Flood: each junction is indexed once, from the twin of the record that
    // reached it, with that record's index as base.  The stack holds at most
    // one entry per record of the network.
    struct Item {
        RING_node_s* junction;
        RING_node_s* start;
        int base;
    };
    std::vector<Item> stack{{first, nullptr, 0}};
    std::vector<RING_node_s*> group;
    int lowest = INT_MAX;
    const int records = record_count(network);
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
        lowest = ChainsNodeInterfIndex(ends, item.start ? item.start : ends->first, item.base, lowest, nullptr);
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

    // One sweep making the two ends of every piece agree on the lower index.
    for (RING_node_s* junction : group) {
        RING_header_s* ends = RING_ask_node_subring(junction);
        for (RING_node_s* node : ring_nodes(ends)) {
            SPLIT_CHAIN_s* end = record_of(node);
            RING_header_s* far = nullptr;
            RING_node_s* twin = NextSplitChain(end, &far);
            if (!twin || record_of(twin)->index == end->index) continue;
            const int low = std::min(end->index, record_of(twin)->index);
            lowest = std::min(lowest, ChainsNodeInterfIndex(ends, node, low, lowest, nullptr));
            lowest = std::min(lowest, ChainsNodeInterfIndex(far, twin, low, lowest, nullptr));
        }
    }

    SplitChainRemoveIndex(network, lowest, pass);
    CHAIN__remove_unneeded_splitpoints(network);
    if (index) *index = lowest;
    return 1;
}

void CHAIN_split_chain_list(RING_header_s* chains, RING_header_s* intersections, RING_header_s* network) {
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

int ChainsMinimalLoops(RING_header_s* intersections, RING_header_s* network, SIDE side, RING_header_s* out,
                       CHAIN_vertex_source_callback_t merge) {
    MERROW1_REQUIRE(network, "DUE_TO_POINTER_TO_SPLITCHAINS_BEING_NULL", 0);
    if (!out) return 0;
    if (!merge) merge = CHAIN_boolean_merge;
    if (side == 0 && intersections && intersections->first) {
        const RING_header_s* points = RING_ask_node_subring(intersections->first);
        const CHAIN_main_data_s* data = points ? data_of(static_cast<RING_header_s*>(points->main_data)) : nullptr;
        if (data) side = data->material_side;
    }
    const int pass = current_pass(network);
    std::vector<RING_node_s*> added;  // nodes of out this call added
    std::vector<bool> made;          // whether the call made that chain
    bool met_traced = false;
    bool emptied = false;
    // Every loop removes at least its start record, every step of a walk the
    // record it takes: the records of the network bound both.  Running past
    // the bound takes back what the call added to out and raises 965003.
    const int records = record_count(network);
    auto overrun = [&](RING_header_s* unfinished, int line) {
        if (unfinished) RING_delete(unfinished);
        for (size_t i = added.size(); i-- > 0;) {
            take_back(out, added[i], made[i]);
        }
        merrow1::infinite_loop(__FILE__, line);
    };

    for (int loops = 0;; ++loops) {
        const Start start = find_start(intersections, network, pass, side);
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
            remove_record(start.ends, start.node);
            remove_record(far, twin);
            data_of(loop)->direction = CHAIN_direction_of_chain(loop);
            CHAIN_loop_class_s* record = loop_class(loop);
            record->all_dummy = CHAIN_is_chain_all_dummy(loop) ? 1 : 0;
            record->material_class = class_of(loop);
            if (data_of(loop)->kind == TRACE_CHAIN) {
                data_of(loop)->kind = OFFSET_CHAIN;
                met_traced = true;
                if (RING_header_s* stocked = ChainStockedFrom(loop)) RING_put_header_app_data(loop, APP_DATA_COPIED_FROM, stocked);
            }
        } else {
            walked = true;
            loop = CHAIN_create_from_chain(chain_of(first), out->pool);
            loop_class(loop);
            CHAIN_kind_t kind = data_of(loop)->kind;
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
            for (int steps = 0; node; ++steps) {
                if (steps > records) overrun(loop, __LINE__);
                SPLIT_CHAIN_s* end = record_of(node);
                RING_header_s* chain = chain_of(end);
                if (chain != only_chain) only_chain = nullptr;
                last_chain = chain;
                const int before = loop->count;
                if (data_of(chain)->kind == TRACE_CHAIN) {
                    met_traced = true;
                    kind = OFFSET_CHAIN;
                    if (RING_header_s* stocked = static_cast<RING_header_s*>(APP_DATA__ask_app_data(chain->app_data, APP_DATA_STOCKED_FROM)))
                        loop_class(loop)->material_class = class_of(stocked);
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
                remove_record(ends, node);
                end = nullptr;
                const bool closed = ends_meet(loop);
                // Next piece: the twin in the far junction, then its neighbour.
                RING_header_s* far = nullptr;
                RING_node_s* twin = NextSplitChain(&walked_end, &far);
                if (!twin || far->count < 2) {
                    remove_record(far, twin);
                    break;
                }
                RING_node_s* next = nullptr;
                RING_node_s* probe = side == RIGHT ? twin->next : twin->previous;
                for (int k = 1; k < far->count; ++k, probe = side == RIGHT ? probe->next : probe->previous) {
                    if (continues(&walked_end, record_of(probe))) {
                        next = probe;
                        break;
                    }
                }
                if (!next && !closed) next = side == RIGHT ? twin->next : twin->previous;
                remove_record(far, twin);
                ends = far;
                node = next;
            }
            if (loop->count >= 2) {
                const CHAIN_main_data_s* last_data = data_of(last_chain);
                if (last_data) *data_of(loop) = *last_data;
                data_of(loop)->material_side = side;
                data_of(loop)->kind = kind;
                if (ends_meet(loop)) {
                    if (!is_closed(loop)) data_of(loop)->direction = 0;
                    merge(loop->first, nullptr, loop, loop->last, loop);
                    merge(nullptr, nullptr, nullptr, nullptr, loop);
                    CHAIN_close(loop, 1e-8);
                    if (!started_at_chain_start) RING_put_node_app_data(loop, loop->first, APP_DATA_SPLIT_VERTEX_SOURCE, first);
                    if (only_chain) RING_put_header_app_data(loop, APP_DATA_STOCKED_FROM, only_chain);
                    data_of(loop)->direction = CHAIN_direction_of_chain(loop);
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
        const bool inside = material_inside(data_of(loop)->direction, data_of(loop)->material_side);
        if ((met_traced && inside && loop_class(loop)->material_class == 0) || loop->count < 2) {
            if (walked) RING_delete(loop);
            continue;
        }
        added.push_back(RING_insert_after(out, out->last, walked ? loop : RING_dup_reference(loop)));
        made.push_back(walked);
        CHAIN_debug_report(kReportChain, "ChainsMinimalLoops: count = %d", out, nullptr);
    }
    // The finished marks on the chains hold for this group only: a chain of a
    // later group was passed over here because its points lay outside.
    for (RING_node_s* list_node : ring_nodes(intersections))
        RING_delete_app_data_of_node(intersections, list_node, CHAIN_APP_DATA_SCRATCH_MARK);
    // The group is done: its junctions lose their remaining records.
    for (RING_node_s* junction : ring_nodes(network))
        if (marked(junction) && RING_ask_node_subring(junction)) RING_delete_all_nodes(RING_ask_node_subring(junction));
    return !emptied && !added.empty() ? 1 : 0;
}

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
        else if (pairs == CHAIN__OLDER_PAIRS_BETWEEN)
            ChainsIntersectionBetween(set, intersections, false);
        else
            ChainsIntersection(set, intersections);
        ChainsSplit(intersections, network);
        int index = 0;
        const int bound = network->count;
        for (int groups = 0; ChainInterfIndex(network, &index);) {
            if (++groups > bound) MERROW1_INFINITE_LOOP();
            ChainsMinimalLoops(intersections, network, side, out, merge);
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

namespace {

// Material layers of the input at a point: every closed input chain with its
// material inside adds one where it encloses the point, every one with its
// material outside adds one where it does not.  So the layers are counted
// alike everywhere: a pocket with an island in it has none between the two,
// one inside the island and one outside the pocket.
int material_level(const std::vector<RING_header_s*>& inputs, const double point[2]) {
    int level = 0;
    for (RING_header_s* chain : inputs) {
        const bool inside = ChainPointLocation(chain, point, nullptr) == CHAIN_LOCATION_INSIDE;
        if (material_inside(CHAIN_direction_of_chain(chain), data_of(chain)->material_side) == inside) ++level;
    }
    return level;
}

// Midpoint of the segment ending at the vertex and the unit normal to its left
// there; false when the segment cannot be read.
bool probe_of(const RING_header_s* chain, const RING_node_s* vertex, double mid[2], double normal[2], double* length) {
    SEGMENT segment;
    if (!ChainSegment(chain, vertex, &segment) || segment.type == SEG_POINT) return false;
    const double* a = segment.start;
    const end_segment* e = segment.end;
    if (segment.type == SEG_LINE) {
        mid[0] = (a[0] + e->x) / 2, mid[1] = (a[1] + e->y) / 2;
        *length = std::hypot(e->x - a[0], e->y - a[1]);
    } else {
        const double a0 = std::atan2(a[1] - e->cy, a[0] - e->cx);
        const double a1 = std::atan2(e->y - e->cy, e->x - e->cx);
        const double turn = 2 * M_PI;
        double sweep = e->direction == CCW ? std::fmod(a1 - a0 + 2 * turn, turn) : -std::fmod(a0 - a1 + 2 * turn, turn);
        if (sweep == 0) sweep = e->direction == CCW ? turn : -turn;
        const double m = a0 + sweep / 2;
        mid[0] = e->cx + e->radius * std::cos(m), mid[1] = e->cy + e->radius * std::sin(m);
        *length = std::fabs(sweep) * e->radius;
    }
    double tangent[2];
    if (*length <= 0 || !SegmentTangent(&segment, mid, tangent)) return false;
    normal[0] = -tangent[1], normal[1] = tangent[0];
    return true;
}

// Points just left and right of the middle of a closed loop's longest
// segment, which stands clear of the corners; false when no segment can be
// read.
bool loop_probes(const RING_header_s* loop, double left[2], double right[2]) {
    double mid[2], normal[2], best_mid[2] = {0, 0}, best_normal[2] = {0, 0}, length = 0, best = 0;
    for (RING_node_s* vertex : ring_nodes(loop))
        if (probe_of(loop, vertex, mid, normal, &length) && length > best)
            best = length, best_mid[0] = mid[0], best_mid[1] = mid[1], best_normal[0] = normal[0],
            best_normal[1] = normal[1];
    if (best <= 0) return false;
    const double d = 1e-4 * best;
    left[0] = best_mid[0] + d * best_normal[0], left[1] = best_mid[1] + d * best_normal[1];
    right[0] = best_mid[0] - d * best_normal[0], right[1] = best_mid[1] - d * best_normal[1];
    return true;
}

}  // namespace

void CHAIN__keep_traced_free_loops(const RING_header_s* trace, SIDE side, RING_header_s* out) {
    if (!trace || !is_closed(trace)) return;
    if (side != RIGHT && side != LEFT) return;
    // With the material at infinity, each turn of the trace about a point in
    // its free sense takes one layer off: the free places are those it winds
    // about once that way.
    const int free_winding = side == RIGHT ? 1 : -1;
    RING_node_s* node = out->first;
    for (int steps = out->count; node && steps > 0; --steps) {
        RING_node_s* next = node == out->last ? nullptr : node->next;
        RING_header_s* loop = RING_ask_node_subring(node);
        const auto* record = loop ? static_cast<const CHAIN_loop_class_s*>(
                                        APP_DATA__ask_app_data(loop->app_data, CHAIN_APP_DATA_LOOP_CLASS))
                                  : nullptr;
        double left[2], right[2];
        if (record && record->material_class == 0 && loop->count >= 2 && is_closed(loop) &&
            loop_probes(loop, left, right)) {
            const double* free_side = data_of(loop)->material_side == LEFT ? right : left;
            if (CHAIN__winding_number(trace, free_side) != free_winding) {
                // The trace taken whole leaves without being deleted.
                if (loop == trace && loop->references <= 1)
                    RING_disconnect_node(out, node);
                else
                    RING_delete_node(out, node);
            }
        }
        node = next;
    }
}

void CHAIN__keep_region_boundary(RING_header_s* chains, RING_header_s* out, RING_node_s* before_first) {
    // The closed input chains that enclose area: a chain folded back onto
    // itself (no direction) has no inside, so it lays no material on either
    // side; counted by its material side alone it would cover the plane.
    std::vector<RING_header_s*> inputs;
    auto lays_material = [](RING_header_s* chain) {
        return chain && chain->count >= 2 && is_closed(chain) && CHAIN_direction_of_chain(chain) != 0;
    };
    if (chains->type == RING_TYPE_CHAIN) {
        if (lays_material(chains)) inputs.push_back(chains);
    } else {
        for (RING_node_s* node : ring_nodes(chains))
            if (RING_header_s* chain = RING_ask_node_subring(node); lays_material(chain)) inputs.push_back(chain);
    }
    if (before_first && before_first == out->last) return;
    struct Loop {
        RING_node_s* node;
        int material, other;
    };
    std::vector<Loop> loops;
    // The fewest layers anywhere: far out, only the chains with their
    // material outside lay any; nearer in, the faces beside the loops and the
    // input chains are looked at.  The region's boundary runs between faces
    // of that level and faces above it.
    int lowest = 0;
    for (RING_header_s* chain : inputs)
        if (!material_inside(CHAIN_direction_of_chain(chain), data_of(chain)->material_side)) ++lowest;
    for (RING_header_s* chain : inputs)
        if (double left[2], right[2]; loop_probes(chain, left, right))
            lowest = std::min({lowest, material_level(inputs, left), material_level(inputs, right)});
    RING_node_s* node = before_first ? before_first->next : out->first;
    for (int steps = out->count; node && steps > 0; --steps) {
        RING_header_s* loop = RING_ask_node_subring(node);
        double left[2], right[2];
        if (loop && loop->count >= 2 && is_closed(loop) && loop_probes(loop, left, right)) {
            const bool on_left = data_of(loop)->material_side == LEFT;
            const int material = material_level(inputs, on_left ? left : right);
            const int other = material_level(inputs, on_left ? right : left);
            lowest = std::min({lowest, material, other});
            loops.push_back({node, material, other});
        }
        if (node == out->last) break;
        node = node->next;
    }
    for (const Loop& l : loops) {
        if (l.material > lowest && l.other <= lowest) continue;
        RING_header_s* loop = RING_ask_node_subring(l.node);
        // A caller's chain handed on as it is goes without being deleted:
        // through its reference, or unlinked when out holds it without one.
        const bool caller_owned = std::find(inputs.begin(), inputs.end(), loop) != inputs.end();
        if (caller_owned && loop->references <= 1)
            RING_disconnect_node(out, l.node);
        else
            RING_delete_node(out, l.node);
    }
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
    if (!chains->first || chains->count < 1) return 0;
    RING_node_s* before_first = out->last;
    if (!CHAIN_ask_use_new_boolean()) {
        CHAIN_debug_report(kReportChain, "ChainsBoolean -- Start", chains, nullptr);
        CHAIN__boolean_older(chains, nullptr, CHAIN__OLDER_PAIRS_ALL, side, out, merge, "CHAIN-ChainsBoolean-", 0,
                             "ChainsBoolean");
        CHAIN__keep_region_boundary(chains, out, before_first);
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

int CHAIN_boolean_two_lists(RING_header_s* list1, RING_header_s* list2, SIDE side, RING_header_s* out,
                            CHAIN_vertex_source_callback_t merge) {
    MERROW1_REQUIRE(list1 && list2 && out, "DUE_TO_POINTER_TO_CHAIN_BEING_NULL", 0);
    if (!list1->first) return 0;
    if (side == 0) {
        const RING_header_s* first = RING_ask_node_subring(list1->first);
        if (const CHAIN_main_data_s* data = data_of(first)) side = data->material_side;
    }
    RING_node_s* before_first = out->last;
    CHAIN__boolean_older(list1, list2, CHAIN__OLDER_PAIRS_ALL, side, out, merge, "CHAIN-ChainsBooleanTwoLists-", 0,
                         "ChainsBoolean");
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
    if (!chains || !chains->first || chains->count < 1 || !out) return 0;
    CHAIN_debug_report(kReportChain, "ChainsFormMinAreaLoops: inChains", chains, nullptr);
    for (RING_node_s* node : ring_nodes(chains)) {
        RING_header_s* chain = RING_ask_node_subring(node);
        if (chain && data_of(chain) && data_of(chain)->material_side == LEFT) CHAIN_reverse(chain);
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
                    data_of(loop)->direction = 0;
                    data_of(loop)->material_side = RIGHT;
                    data_of(loop)->kind = TRACE_CHAIN;
                    for (const Held& held : cycle) {
                        const SPLIT_CHAIN_s* end = record_of(held.node);
                        ChainMerge(loop, end->piece, end->reversed, MCHN_merge_segment_app_data);
                    }
                    remove_with_twins(cycle);
                    CHAIN_close(loop, 1e-8);
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
