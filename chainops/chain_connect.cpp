// Joining and sources of chains.
#include <merrow1/chain_connect.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_edit.h>

#include "chain/chain_record.h"
#include "internal/scratch_pool.h"

#include <algorithm>
#include <vector>

RING_header_s* CHAIN_source_of_segments(RING_header_s* chain, CMEM_pool_s* pool) {
    if (!chain || !pool) return nullptr;
    RING_header_s* list = CHAIN_create_boolean_set(pool, nullptr);
    if (auto* stocked = static_cast<RING_header_s*>(APP_DATA__ask_app_data(chain->app_data, APP_DATA_STOCKED_FROM)))
        CHAIN_add_chain_to_list(list, stocked);
    RING_header_s* previous = nullptr;
    RING_node_s* vertex = chain->first ? chain->first->next : nullptr;
    // The vertices from the second: on a closed chain the first vertex ends
    // the last segment and comes last.
    const bool closed = merrow1::is_closed(chain);
    const int steps = closed ? chain->count : chain->count - 1;
    for (int i = 0; i < steps && vertex; ++i, vertex = vertex->next) {
        const auto* source = static_cast<const CHAIN_source_chain_source_vertex_s*>(
            APP_DATA__ask_app_data(vertex->app_data, APP_DATA_SOURCE_VERTEX));
        if (!source || !source->source_chain || source->source_chain == previous) continue;
        previous = source->source_chain;
        CHAIN_add_chain_to_list(list, previous);
    }
    if (list->count == 0) {
        RING_delete(list);
        return nullptr;
    }
    return list;
}

namespace {

// One way two open chains may join: the end of `from` to the start of `to`.
// An end and a start join when their squared gap lies below the squared
// tolerance plus this.
constexpr double kJoinSlackSquared = 1e-10;
// A group whose own ends meet is closed at this tolerance; a squared gap of
// at most the second between two chains is no gap (the second chain's first
// vertex goes), a wider one is bridged by a line.
constexpr double kLoopCloseTolerance = 1e-6;
constexpr double kNoGapSquared = 1e-6;

struct Join {
    int from;
    int to;
    double gap;  // squared
};

using merrow1::is_closed;
using merrow1::main_of;
using merrow1::point_of;

}  // namespace

void CHAIN_form_closed_loops(RING_header_s* chains, RING_header_s* closed, double tolerance) {
    if (!chains || !closed) return;
    // 1. Closed chains go to `closed`; open ones run with material LEFT.
    std::vector<RING_node_s*> open;
    {
        std::vector<RING_node_s*> all;
        RING_node_s* node = chains->first;
        for (int i = 0; i < chains->count && node; ++i, node = node->next) all.push_back(node);
        for (RING_node_s* n : all) {
            RING_header_s* chain = RING_ask_node_subring(n);
            if (chain && is_closed(chain)) {
                RING_move_node(chains, n, closed, closed->last);
            } else if (chain && chain->first) {
                const CHAIN_main_data_s* data = main_of(chain);
                if (data && data->material_side != LEFT) CHAIN_reverse(chain);
                open.push_back(n);
            }
        }
    }
    const int n = static_cast<int>(open.size());
    if (n > 0) {
        merrow1::run_converting([&] {
            MERROW1_SCRATCH_POOL(scratch, "CHAIN_form_closed_loops");
            // 2. Every ordered pair whose end and start meet, a chain with
            //    itself included.
            std::vector<Join> joins;
            const double limit = tolerance * tolerance + kJoinSlackSquared;
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) {
                    const double* e = point_of(RING_ask_node_subring(open[i])->last);
                    const double* s = point_of(RING_ask_node_subring(open[j])->first);
                    const double gap = (e[0] - s[0]) * (e[0] - s[0]) + (e[1] - s[1]) * (e[1] - s[1]);
                    if (gap < limit) joins.push_back({i, j, gap});
                }
            // 3. Closest first.
            std::stable_sort(joins.begin(), joins.end(), [](const Join& a, const Join& b) { return a.gap < b.gap; });
            // 4. Join in that order while both ends are free.  group[k] is the
            //    representative of chain k; head[r] the chain holding the
            //    group's vertices.
            std::vector<int> group(n), head(n);
            std::vector<bool> end_free(n, true), start_free(n, true);
            for (int k = 0; k < n; ++k) group[k] = head[k] = k;
            auto find = [&](int k) {
                for (int steps = 0; group[k] != k && steps < n; ++steps) k = group[k];
                return k;
            };
            for (const Join& join : joins) {
                if (!end_free[join.from] || !start_free[join.to]) continue;
                const int a = find(join.from), b = find(join.to);
                RING_header_s* target = RING_ask_node_subring(open[head[a]]);
                if (a == b) {
                    CHAIN_close(target, kLoopCloseTolerance);
                } else {
                    RING_header_s* source = RING_ask_node_subring(open[head[b]]);
                    if (join.gap <= kNoGapSquared && source->first)
                        RING_delete_node(source, source->first);
                    else if (source->first)
                        CHAIN_seg_set_type(source->first, SEG_LINE);  // a line bridges the gap
                    RING_append_ring(target, source);
                    group[b] = a;
                }
                end_free[join.from] = false;
                start_free[join.to] = false;
            }
            (void)scratch;
        });
    }
    // 5. Chains emptied by joining go; the others are referenced from `closed`.
    for (RING_node_s* node : open) {
        RING_header_s* chain = RING_ask_node_subring(node);
        if (!chain->first) {
            RING_delete_node(chains, node);
            continue;
        }
        RING_insert_after(closed, closed->last, RING_dup_reference(chain));
    }
}
