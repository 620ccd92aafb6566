// Chain fillets: rounding the corners of one chain by offsets there and back.
#include <merrow1/chain_fillet.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_clean.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_types.h>
#include <merrow1/int_grid_map.h>

#include <pellam/mchn_builders.h>
#include <pellam/mchn_implicit.h>
#include <pellam/mchn_merge.h>
#include <pellam/mchn_segment.h>
#include <quorn/quorn.h>

#include "chain/chain_check.h"
#include "chain/chain_each.h"
#include "chain/chain_record.h"
#include "internal/check.h"
#include "internal/ring_nodes.h"
#include "internal/scratch_pool.h"
#include "offset/chain_fillet_internal.h"

#include <cmath>
#include <vector>

using merrow1::chains_of;
using merrow1::is_closed;
using merrow1::main_of;

// ---------------------------------------------------------------------------
// Chain fillets: offsets there and back
// ---------------------------------------------------------------------------

namespace {

// Kinds of the chain debug reports: input, intermediate, output.
const int kReportInput = 32, kReportIntermediate = 34, kReportOutput = 35;
// Closing gap of a joined closed chain.
const double kJoinGap = 1e-8;

// Chains made for one try, deleted unless the try keeps them.
class MadeChains {
public:
    MadeChains() = default;
    ~MadeChains() { drop(); }
    MadeChains(const MadeChains&) = delete;
    MadeChains& operator=(const MadeChains&) = delete;
    RING_header_s* add(RING_header_s* chain) {
        if (chain) m_chains.push_back(chain);
        return chain;
    }
    void keep() { m_chains.clear(); }
    void drop() {
        for (auto c = m_chains.rbegin(); c != m_chains.rend(); ++c) RING_delete(*c);
        m_chains.clear();
    }

private:
    std::vector<RING_header_s*> m_chains;
};

// The one chain of an offset's list, taken out of it (the list goes); null
// when the list holds anything else (then deleted with its chains).
RING_header_s* single_chain_of(RING_header_s* list) {
    if (!list) return nullptr;
    RING_header_s* chain = list->count == 1 ? RING_ask_node_subring(list->first) : nullptr;
    if (!chain || chain->count < 2) {
        RING_delete(list);
        return nullptr;
    }
    RING_set_sub_ring_delfunc(list, nullptr);
    RING_delete(list);
    return chain;
}

// A minimum radius that ends the x0.9 loop: at or below 0, or not a number,
// it is the host length tolerance.
double working_minimum(double min_radius) {
    return min_radius > 0.0 ? min_radius : EQ_ask_length_tolerance();
}

bool finite_positive(double radius) { return std::isfinite(radius) && radius > 0.0; }

int segment_count(const RING_header_s* chain) { return is_closed(chain) ? chain->count : chain->count - 1; }

const int* piece_datum(const RING_header_s* piece) {
    return static_cast<const int*>(APP_DATA__ask_app_data(piece->app_data, CHAIN_APP_DATA_SPLIT_CLASS));
}

struct FilletCallbacks {
    CHAIN_trace_vertex_source_cb_t source;
    CHAIN_vertex_source_callback_t node;
};

// The offset there and back; *first receives the first offset chain (kept
// in the pool as an INTERMEDIATE_CHAIN) when a result is made.
RING_header_s* there_and_back(RING_header_s* chain, double distance, const FilletCallbacks& cb, CMEM_pool_s* pool,
                              RING_header_s** first) {
    if (first) *first = nullptr;
    if (!chain || chain->count < 2) return nullptr;
    RING_header_s* there =
        single_chain_of(CHAIN_offset(chain, distance, ADD_ARC, 0, cb.source, nullptr, cb.node, pool, nullptr));
    if (!there) return nullptr;
    RING_header_s* back = nullptr;
    try {
        back = single_chain_of(CHAIN_offset(there, -distance, ADD_ARC, 0, cb.source, nullptr, cb.node, pool, nullptr));
    } catch (...) {
        RING_delete(there);
        throw;
    }
    if (!back) {
        RING_delete(there);
        return nullptr;
    }
    main_of(there)->kind = INTERMEDIATE_CHAIN;
    if (first) *first = there;
    return back;
}

// One try of the piece fillet at d (steps b to e): the joined and cleaned
// chain, or null with *give_up set when the cleaning failed.  The chains the
// try made are deleted unless it gives a result.
RING_header_s* piece_fillet_at(const std::vector<RING_header_s*>& pieces, bool closed, double d,
                               const FilletCallbacks& cb, CMEM_pool_s* pool, bool* give_up) {
    MadeChains made;
    // (b) Copies of the pieces with their classifier data and no link to the piece.
    std::vector<RING_header_s*> work;
    for (RING_header_s* piece : pieces) {
        RING_header_s* copy = made.add(CHAIN_copy(piece, pool, cb.node));
        if (!copy) return nullptr;
        RING_delete_app_data(copy, APP_DATA_STOCKED_FROM);
        if (const int* datum = piece_datum(piece))
            RING_put_header_app_data(copy, CHAIN_APP_DATA_SPLIT_CLASS, const_cast<int*>(datum));
        work.push_back(copy);
    }
    // (c) The pieces to fillet go there and back.
    for (RING_header_s*& w : work) {
        const int* datum = piece_datum(w);
        if (w->count < 3 || !datum || *datum < 1) continue;
        RING_header_s* there = nullptr;
        RING_header_s* rounded = there_and_back(w, d, cb, pool, &there);
        if (!rounded) return nullptr;
        made.add(there);
        w = made.add(rounded);
    }
    // (d) Joined in order onto the first; a join refused fails the radius.
    RING_header_s* joined = work.front();
    for (size_t i = 1; i < work.size(); ++i)
        if (!ChainAppend(joined, joined->last, 1, work[i], work[i]->first, 1)) return nullptr;
    if (closed) {
        CHAIN_close(joined, kJoinGap);
        main_of(joined)->direction = CHAIN_direction_of_chain(joined);
    }
    // (e) Cleaned: one chain is the result.
    RING_header_s* cleaned = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    bool cleaned_any = false;
    try {
        cleaned_any = CHAIN_clean(joined, 0, cleaned, cb.node) != 0;
    } catch (...) {
        RING_delete(cleaned);
        throw;
    }
    if (!cleaned_any) {
        RING_delete(cleaned);
        *give_up = true;
        return nullptr;
    }
    // The clean may hand back the joined chain itself, which this try owns:
    // the list goes without it, and with every chain but the result.
    RING_header_s* result = cleaned->count == 1 ? RING_ask_node_subring(cleaned->first) : nullptr;
    RING_set_sub_ring_delfunc(cleaned, nullptr);
    for (RING_header_s* c : chains_of(cleaned))
        if (c != result && c != joined) RING_delete(c);
    RING_delete(cleaned);
    if (!result) return nullptr;
    made.keep();
    // What is left of the pieces joined onto the first.
    for (size_t i = 1; i < work.size(); ++i) RING_delete(work[i]);
    return result;
}

RING_header_s* fillet_chain(RING_header_s* chain, double radius, double min_radius, const FilletCallbacks& cb,
                            CHAIN_split_classifier_t classifier) {
    // 1. Something to fillet.
    if (!chain || chain->type == RING_TYPE_LIST || segment_count(chain) < 2) return nullptr;
    const CHAIN_main_data_s* md = main_of(chain);
    if (!md || (md->material_side != RIGHT && md->material_side != LEFT)) return nullptr;
    // 2.
    CHAIN_debug_report(kReportInput, "CHAIN_fillet: chain", chain, nullptr);
    CMEM_pool_s* pool = chain->pool;
    const double minimum = working_minimum(min_radius);
    // 3. Whole chain, or pieces.
    RING_header_s* pieces = nullptr;
    if (classifier) {
        int status = 0;
        pieces = CHAIN_split_chain_into_chains(chain, classifier, cb.node, pool, &status);
        if (status != 1 && !(status == 2 && pieces && pieces->count > 0)) {
            if (pieces) RING_delete(pieces);
            return nullptr;
        }
        if (status == 1 && pieces) {
            RING_delete(pieces);
            pieces = nullptr;
        }
    }
    RING_header_s* result = nullptr;
    if (!pieces) {
        // 4. Whole-chain fillet.
        double d = radius;
        do {
            result = there_and_back(chain, d, cb, pool, nullptr);
            d *= 0.9;
        } while (!result && d >= minimum);
    } else {
        // 5. Piece fillet.
        CHAIN_debug_report(kReportIntermediate, "CHAIN_fillet: list_of_chains", pieces, nullptr);
        const std::vector<RING_header_s*> list = chains_of(pieces);
        try {
            double d = radius;
            bool give_up = false;
            do {
                result = piece_fillet_at(list, is_closed(chain), d, cb, pool, &give_up);
                d *= 0.9;
            } while (!result && !give_up && d >= minimum);
        } catch (...) {
            RING_delete(pieces);
            throw;
        }
        // The pieces stay as the sources of a result; the list goes.
        if (!result) {
            RING_delete(pieces);
        } else {
            RING_set_sub_ring_delfunc(pieces, nullptr);
            RING_delete(pieces);
        }
    }
    // 6.
    if (result) CHAIN_debug_report(kReportOutput, "CHAIN_fillet: filleted_chain", result, nullptr);
    return result;
}

RING_header_s* fillet_all_corners(RING_header_s* chain, double radius, double min_radius, const FilletCallbacks& cb,
                                  CHAIN_split_classifier_t classifier) {
    RING_header_s* first = fillet_chain(chain, radius, min_radius, cb, classifier);
    if (!first) return nullptr;
    CHAIN_main_data_s* fmd = main_of(first);
    const SIDE side = main_of(chain)->material_side;
    fmd->material_side = side == RIGHT ? LEFT : RIGHT;
    RING_header_s* second = nullptr;
    try {
        second = fillet_chain(first, radius, min_radius, cb, classifier);
    } catch (...) {
        fmd->material_side = side;
        throw;
    }
    fmd->material_side = side;
    if (!second) return first;
    main_of(second)->material_side = side;
    fmd->kind = INTERMEDIATE_CHAIN;
    return second;
}

using FilletEntry = RING_header_s* (*)(RING_header_s*, double, double, const FilletCallbacks&,
                                       CHAIN_split_classifier_t);

RING_header_s* offset_and_fillet(RING_header_s* chain, double offset, CORNER_CONTROL corner_control, double radius,
                                 double min_radius, CHAIN_trace_vertex_cb_t trace_vertex_cb, const FilletCallbacks& cb,
                                 CHAIN_split_classifier_t classifier, CMEM_pool_s* pool, FilletEntry fillet,
                                 bool report) {
    if (!finite_positive(radius)) {
        MERROW1_NOTE_FAILURE("DUE_TO_BAD_FILLET_RADIUS");
        return nullptr;
    }
    if (report) CHAIN_debug_report(kReportInput, "CHAIN_offset_and_fillet: chain", chain, nullptr);
    RING_header_s* offsets =
        CHAIN_offset(chain, offset, corner_control, 0, cb.source, trace_vertex_cb, cb.node, pool, nullptr);
    if (!offsets) return nullptr;
    if (offsets->count == 0) {
        RING_delete(offsets);
        return nullptr;
    }
    try {
        for (RING_node_s* node : merrow1::ring_nodes(offsets)) {
            RING_header_s* offset_chain = RING_ask_node_subring(node);
            if (!offset_chain) continue;
            if (report) CHAIN_debug_report(kReportIntermediate, "CHAIN_offset_and_fillet: offset_chain", offset_chain, nullptr);
            RING_header_s* filleted = fillet(offset_chain, radius, min_radius, cb, classifier);
            if (!filleted) continue;
            if (report) CHAIN_debug_report(kReportOutput, "CHAIN_offset_and_fillet: filleted_chain", filleted, nullptr);
            // The offset chain stays in the pool, the source of the fillet.
            RING_set_node_subring(node, filleted);
            main_of(offset_chain)->kind = INTERMEDIATE_CHAIN;
        }
    } catch (...) {
        RING_delete(offsets);
        throw;
    }
    return offsets;
}

}  // namespace

RING_header_s* CHAIN__offset_there_and_back(RING_header_s* chain, double distance,
                                            CHAIN_trace_vertex_source_cb_t vertex_source_cb,
                                            CHAIN_vertex_source_callback_t node_cb, CMEM_pool_s* pool) {
    return there_and_back(chain, distance, {vertex_source_cb, node_cb}, pool, nullptr);
}

RING_header_s* CHAIN_fillet(RING_header_s* chain, double radius, double min_radius,
                            CHAIN_trace_vertex_source_cb_t vertex_source_cb, CHAIN_vertex_source_callback_t node_cb,
                            CHAIN_split_classifier_t classifier) {
    if (!CHAIN__input_usable(chain, "CHAIN_fillet", CHAIN_INPUT_FINITE)) return nullptr;
    if (!finite_positive(radius)) {
        MERROW1_NOTE_FAILURE("DUE_TO_BAD_FILLET_RADIUS");
        return nullptr;
    }
    return fillet_chain(chain, radius, min_radius, {vertex_source_cb, node_cb}, classifier);
}

RING_header_s* CHAIN_fillet_all_corners(RING_header_s* chain, double radius, double min_radius,
                                        CHAIN_trace_vertex_source_cb_t vertex_source_cb,
                                        CHAIN_vertex_source_callback_t node_cb, CHAIN_split_classifier_t classifier) {
    if (!CHAIN__input_usable(chain, "CHAIN_fillet_all_corners", CHAIN_INPUT_FINITE)) return nullptr;
    if (!finite_positive(radius)) {
        MERROW1_NOTE_FAILURE("DUE_TO_BAD_FILLET_RADIUS");
        return nullptr;
    }
    return fillet_all_corners(chain, radius, min_radius, {vertex_source_cb, node_cb}, classifier);
}

RING_header_s* CHAIN_offset_and_fillet(RING_header_s* chain, double offset, CORNER_CONTROL corner_control,
                                       double radius, double min_radius, CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                       CHAIN_trace_vertex_source_cb_t vertex_source_cb,
                                       CHAIN_vertex_source_callback_t node_cb, CHAIN_split_classifier_t classifier,
                                       CMEM_pool_s* pool) {
    if (!CHAIN__input_usable(chain, "CHAIN_offset_and_fillet", CHAIN_INPUT_FINITE)) return nullptr;
    return offset_and_fillet(chain, offset, corner_control, radius, min_radius, trace_vertex_cb,
                             {vertex_source_cb, node_cb}, classifier, pool, fillet_chain, true);
}

RING_header_s* CHAIN_offset_and_fillet_all_corners(RING_header_s* chain, double offset,
                                                   CORNER_CONTROL corner_control, double radius, double min_radius,
                                                   CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                                   CHAIN_trace_vertex_source_cb_t vertex_source_cb,
                                                   CHAIN_vertex_source_callback_t node_cb,
                                                   CHAIN_split_classifier_t classifier, CMEM_pool_s* pool) {
    if (!CHAIN__input_usable(chain, "CHAIN_offset_and_fillet_all_corners", CHAIN_INPUT_FINITE)) return nullptr;
    return offset_and_fillet(chain, offset, corner_control, radius, min_radius, trace_vertex_cb,
                             {vertex_source_cb, node_cb}, classifier, pool, fillet_all_corners, false);
}
