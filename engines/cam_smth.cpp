// Spike removal on rings of points, by caller measures.
#include <merrow1/cam_smth.h>

#include "internal/check.h"

namespace {

// The spike test of `middle`.  The measure is asked again for the second
// comparison: a caller's measure may count or log its calls.
bool is_spike(RING_node_s* middle, RING_node_s* after, RING_node_s* before, double min_measure,
              double keep_measure, double keep_second, CAM_SMTH_measure_t measure, CAM_SMTH_second_t second) {
    const bool kept = measure(middle, after, before) >= min_measure &&
                      (measure(middle, after, before) >= keep_measure || second(after, middle, before) >= keep_second);
    return !kept;
}

// The predecessor of `current` when it, its own predecessor and `current`
// are three different nodes; otherwise null.
RING_node_s* testable_predecessor(RING_node_s* current) {
    RING_node_s* middle = current->previous;
    if (!middle || middle == current) return nullptr;
    RING_node_s* before = middle->previous;
    if (!before || before == current || before == middle) return nullptr;
    return middle;
}

// One pass of CAM_SMTH_remove_spikes; returns the nodes it removed.
int remove_pass(RING_header_s* ring, double min_measure, double keep_measure, double keep_second,
                CAM_SMTH_measure_t measure, CAM_SMTH_second_t second, int* removed, int* removed_count) {
    int count = 0;
    int position = -1;  // position of the predecessor of `current` at the start of the pass
    RING_node_s* current = ring->first;
    // Each step advances the position, and the walk ends once it passes the
    // ring's node count: at most count + 1 steps.
    while (current) {
        if (RING_node_s* middle = testable_predecessor(current)) {
            if (is_spike(middle, current, middle->previous, min_measure, keep_measure, keep_second, measure,
                         second)) {
                RING_recycle_node(ring, middle);
                if (removed) removed[*removed_count] = position;
                ++*removed_count;
                ++count;
            }
        }
        current = current->next;
        ++position;
        if (position + 2 > ring->count) break;
    }
    return count;
}

}  // namespace

extern "C" {

int CAM_SMTH_remove_spikes(RING_header_s* ring, double min_measure, double keep_measure, double keep_second,
                           CAM_SMTH_measure_t measure, CAM_SMTH_second_t second, CAM_SMTH_ignored_t,
                           int* removed) {
    MERROW1_REQUIRE(ring && measure && second, "DUE_TO_INVALID_INPUT", 0);
    int total = 0;
    // Every pass that goes on removes a node, so at most count passes run.
    while (ring->count >= 3) {
        if (remove_pass(ring, min_measure, keep_measure, keep_second, measure, second, removed, &total) == 0) break;
    }
    return total;
}

int CAM_SMTH_remove_spikes2(RING_header_s* ring, RING_header_s* parallel, double min_measure, double keep_measure,
                            double keep_second, CAM_SMTH_measure_t measure, CAM_SMTH_second_t second,
                            CAM_SMTH_ignored_t) {
    MERROW1_REQUIRE(ring && parallel && ring != parallel && measure && second, "DUE_TO_INVALID_INPUT", 0);
    if (ring->count == 2 || ring->count < 1 || ring->count != parallel->count) return 0;
    const int steps = ring->count;
    int total = 0;
    RING_node_s* current = ring->first;
    RING_node_s* twin = parallel->first;
    for (int step = 1; step <= steps && current && twin; ++step) {
        // Each removal takes a node from both rings, so this loop ends.
        while (ring->count > 2) {
            RING_node_s* middle = testable_predecessor(current);
            RING_node_s* twin_middle = twin->previous;
            if (!middle || !twin_middle || twin_middle == twin) break;
            if (!is_spike(middle, current, middle->previous, min_measure, keep_measure, keep_second, measure, second))
                break;
            RING_recycle_node(ring, middle);
            RING_recycle_node(parallel, twin_middle);
            ++total;
        }
        current = current->next;
        twin = twin->next;
    }
    return total;
}

}
