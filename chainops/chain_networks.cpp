// Connected networks of a split-chain network.
#include <merrow1/chain_connect.h>
#include "internal/ring_nodes.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_split.h>

#include <vector>

namespace {

using merrow1::ring_nodes;

SPLIT_JUNCTION_s* junction_data(const RING_node_s* junction) {
    RING_header_s* ends = RING_ask_node_subring(junction);
    return ends ? static_cast<SPLIT_JUNCTION_s*>(ends->main_data) : nullptr;
}

bool visited(const RING_node_s* junction) {
    return APP_DATA__ask_app_data(junction->app_data, CHAIN_APP_DATA_SCRATCH_MARK) != nullptr;
}

}  // namespace

void CHAIN_build_networks(RING_header_s* network) {
    if (!network) return;
    CHAIN__remove_unneeded_splitpoints(network);
    if (!network->main_data) {
        int* counter = CMEM_NEW(network->pool, int);
        *counter = 0;
        network->main_data = counter;
    }
    int* counter = static_cast<int*>(network->main_data);
    for (RING_node_s* seed : ring_nodes(network)) {
        if (visited(seed)) continue;
        const int number = ++*counter;
        // Every junction is stamped and visited once; the work list holds at
        // most one entry per junction of the network.
        std::vector<RING_node_s*> work{seed};
        junction_data(seed)->pass = number;
        while (!work.empty()) {
            RING_node_s* junction = work.back();
            work.pop_back();
            if (visited(junction)) continue;
            for (RING_node_s* node : ring_nodes(RING_ask_node_subring(junction))) {
                const auto* end = static_cast<const SPLIT_CHAIN_s*>(node->main_data);
                RING_node_s* far = end ? end->far_junction : nullptr;
                if (!far || visited(far) || !junction_data(far)) continue;
                junction_data(far)->pass = number;
                work.push_back(far);
            }
            RING_put_node_app_data(network, junction, CHAIN_APP_DATA_SCRATCH_MARK, junction);
        }
    }
}

void CHAIN_extract_split_net(RING_header_s* network, int number, RING_header_s* out) {
    if (!network || !out) return;
    for (RING_node_s* junction : ring_nodes(network)) {
        const SPLIT_JUNCTION_s* data = junction_data(junction);
        if (data && data->pass == number) RING_move_node(network, junction, out, out->last);
    }
}
