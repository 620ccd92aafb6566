// Boolean engine switch, region-set records, and the regions and orientation
// of region sets.
#include <merrow1/chain_region.h>

#include <merrow1/chain.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_from_chain.h>
#include <pellam/mchn_implicit.h>
#include <pellam/mchn_merge.h>
#include <pellam/mchn_merge_split.h>
#include <pellam/mchn_offset.h>
#include <pellam/mchn_segment.h>
#include <quorn/quorn.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_segments.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/segment.h>

#include "chain/chain_check.h"
#include "chainops/chain_region_internal.h"
#include "offset/chain_fillet_internal.h"
#include "chainops/shape_kind.h"
#include "internal/ring_check.h"
#include "chain/split_network.h"
#include <stend/system.h>

#include <cmath>

using merrow1::main_of;
using merrow1::is_closed;
using merrow1::chain_region_internal::is_island;
using merrow1::other_side;
using merrow1::chain_region_internal::for_each_chain;

namespace {

// -1 undecided, 1 the newer engine, 0 the older one.
int g_use_new_boolean = -1;

// Stamps region_set_id 1 on the chains of the second set, then 2 on those of
// the first, so a chain in both ends with 2.
void stamp_shared(const RING_header_s* first, const RING_header_s* second) {
    CHAIN_set_region_set_id_for_set(second, 1);
    CHAIN_set_region_set_id_for_set(first, 2);
}

RING_header_s* copy_by_type(const RING_header_s* chain, CMEM_pool_s* pool, CHAIN_copy_type_t copy_type,
                            CHAIN_vertex_source_callback_t callback) {
    switch (copy_type) {
    case CHAIN_COPY_LINKED: return CHAIN_copy(chain, pool, callback);
    case CHAIN_COPY_NO_LINK: return CHAIN_copy_no_link(chain, pool, callback);
    case CHAIN_COPY_DEEP: return CHAIN_copy_deep(chain, pool, callback);
    default: return nullptr;
    }
}

void append_stamped(RING_header_s* bset, RING_header_s* chain, int region_set_id, unsigned flags,
                    double implied_offset, bool swap_side) {
    RING_insert_after(bset, bset->last, chain);
    CHAIN_main_data_s* data = main_of(chain);
    data->region_set_id = region_set_id;
    data->use_implied_offset = static_cast<int>(flags);
    data->implied_offset = implied_offset;
    if (swap_side) data->material_side = other_side(data->material_side);
}

bool too_small(const RING_header_s* chain) {
    return chain->count < 3 && !CHAIN_is_closed_back_along_itself(chain);
}

}  // namespace

// ---------------------------------------------------------------------------
// Engine switch

bool CHAIN_ask_use_new_boolean() {
    if (g_use_new_boolean == -1)
        g_use_new_boolean = ENV_translate_variable("HVEX_CAM_USE_OLD_BOOLEAN") ? 0 : 1;
    return g_use_new_boolean == 1;
}

void CHAIN_set_new_boolean_flag(bool on) { g_use_new_boolean = on ? 1 : 0; }

void CHAIN_unset_new_boolean_flag() { g_use_new_boolean = -1; }

// ---------------------------------------------------------------------------
// Set-level attributes

void CHAIN_set_region_set_id_for_set(const RING_header_s* set, int id) {
    for_each_chain(set, [id](RING_node_s*, RING_header_s* chain) { main_of(chain)->region_set_id = id; });
}

void CHAIN_set_implied_offset_for_set(const RING_header_s* set, double value, bool flag2) {
    // The whole word is replaced: earlier no-circle and tangent bits go.
    int word = std::fabs(value) > EQ_ask_length_tolerance() ? CHAIN_IMPLIED_OFFSET_IN_FORCE : 0;
    if (flag2) word |= CHAIN_IMPLIED_OFFSET_DUMMY_COVER;
    for_each_chain(set, [value, word](RING_node_s*, RING_header_s* chain) {
        CHAIN_main_data_s* data = main_of(chain);
        data->implied_offset = value;
        data->use_implied_offset = word;
    });
}

void CHAIN_set_implied_offset_no_circle_for_set(const RING_header_s* set, bool on) {
    for_each_chain(set, [on](RING_node_s*, RING_header_s* chain) {
        CHAIN_main_data_s* data = main_of(chain);
        if (on)
            data->use_implied_offset |= CHAIN_IMPLIED_OFFSET_NO_CIRCLE;
        else
            data->use_implied_offset &= ~CHAIN_IMPLIED_OFFSET_NO_CIRCLE;
    });
}

void CHAIN_set_implied_offset_do_tan_corner_ext(RING_header_s* chain_or_list) {
    if (!chain_or_list) return;
    if (chain_or_list->type == RING_TYPE_LIST) {
        const int count = chain_or_list->count;
        RING_node_s* node = chain_or_list->first;
        for (int i = 0; i < count && node; ++i, node = node->next)
            CHAIN_set_implied_offset_do_tan_corner_ext(RING_ask_node_subring(node));
        return;
    }
    // Only a chain carries the word; any other ring's header data is not ours
    // to write.
    if (chain_or_list->type == RING_TYPE_CHAIN && main_of(chain_or_list))
        main_of(chain_or_list)->use_implied_offset |= CHAIN_IMPLIED_OFFSET_TAN_CORNER_EXT;
}

// ---------------------------------------------------------------------------
// Boolean sets

RING_header_s* CHAIN_create_boolean_set(CMEM_pool_s* pool, void* header_data) {
    RING_header_s* set = RING_create_in_pool(header_data, RING_TYPE_LIST, pool);
    if (!set) return nullptr;
    // The set never owns what it refers to.
    RING_set_main_data_delfunc(set, nullptr);
    RING_set_node_main_data_delfunc(set, nullptr);
    RING_set_sub_ring_delfunc(set, nullptr);
    return set;
}

bool CHAIN_append_region_set(RING_header_s* bset, RING_header_s* chain_or_list, int region_set_id, unsigned flags,
                             double implied_offset, bool skip_small, bool swap_side) {
    MERROW1_REQUIRE_LIST(bset, false);
    if (!bset || !chain_or_list) return false;
    if (chain_or_list->type == RING_TYPE_CHAIN) {
        if (!main_of(chain_or_list) || (skip_small && too_small(chain_or_list))) return false;
        append_stamped(bset, chain_or_list, region_set_id, flags, implied_offset, swap_side);
        return true;
    }
    if (chain_or_list->type != RING_TYPE_LIST) return false;
    bool appended = false;
    for_each_chain(chain_or_list, [&](RING_node_s*, RING_header_s* chain) {
        if (skip_small && too_small(chain)) return;
        append_stamped(bset, chain, region_set_id, flags, implied_offset, swap_side);
        appended = true;
    });
    return appended;
}

void CHAIN_decouple_boolean_set(RING_header_s* first, RING_header_s* second) {
    if (!first || !second) return;
    stamp_shared(first, second);
    for_each_chain(second, [](RING_node_s* node, RING_header_s* chain) {
        if (main_of(chain)->region_set_id == 2) RING_set_node_subring(node, nullptr);
    });
}

void CHAIN_unique_boolean_set(RING_header_s* first, RING_header_s* second, CHAIN_copy_type_t copy_type,
                              CHAIN_vertex_source_callback_t callback) {
    if (!first || !second) return;
    stamp_shared(first, second);
    for_each_chain(second, [&](RING_node_s* node, RING_header_s* chain) {
        if (main_of(chain)->region_set_id != 2) return;
        if (RING_header_s* copy = copy_by_type(chain, second->pool, copy_type, callback))
            RING_set_node_subring(node, copy);
    });
}

void CHAIN_unique_boolean_set(RING_header_s* first, RING_header_s* second, bool no_link,
                              CHAIN_vertex_source_callback_t callback) {
    CHAIN_unique_boolean_set(first, second, no_link ? CHAIN_COPY_NO_LINK : CHAIN_COPY_LINKED, callback);
}

// ---------------------------------------------------------------------------
// Regions and orientation

RING_header_s* CHAIN_build_list_of_regions(const RING_header_s* set) {
    if (!CHAIN__input_usable(set, "CHAIN_build_list_of_regions", CHAIN_INPUT_LIST)) return nullptr;
    if (!set) return nullptr;
    RING_header_s* regions = RING_create_in_pool(nullptr, RING_TYPE_LIST, set->pool);
    if (!regions) return nullptr;
    auto new_group = [&]() {
        RING_header_s* group = CHAIN_create_boolean_set(set->pool, set->main_data);
        RING_insert_after(regions, regions->last, group);
        return group;
    };
    RING_header_s* current = nullptr;
    for_each_chain(set, [&](RING_node_s*, RING_header_s* chain) {
        if (!is_closed(chain)) {
            // 4. An open chain stands alone; the open group stays open.
            RING_insert_after(new_group(), nullptr, chain);
        } else if (is_island(chain)) {
            // 3. An island belongs to the boundary before it.
            if (!current) current = new_group();
            RING_insert_after(current, current->last, chain);
        } else if (main_of(chain)->kind != TRACE_CHAIN) {
            // 1. An outer boundary opens a group.
            current = new_group();
            RING_insert_after(current, current->last, chain);
        }
        // 2. A closed trace chain that is not an island is left out.
    });
    return regions;
}

void CHAIN_reverse_chains_wrt_mside(const RING_header_s* set, SIDE side) {
    for_each_chain(set, [side](RING_node_s*, RING_header_s* chain) {
        if (main_of(chain)->material_side != side) CHAIN_reverse(chain);
    });
}

void CHAIN_reverse_wrt_cut_dir(RING_header_s* chain, SIDE cut_side) {
    CHAIN_main_data_s* data = main_of(chain);
    if (!data) return;
    const SIDE wanted = is_island(chain) ? other_side(cut_side) : cut_side;
    if (data->material_side != wanted) CHAIN_reverse(chain);
}

bool CHAIN_point_has_specified_geometry_type(const POINT_ON_CHAIN_s* point, CHAIN_geom_type_t type) {
    if (!point || !point->chain || !point->node) return false;
    if (MCHN_ask_segment_geom_type(point->chain, point->node) == type) return true;
    // A place at a vertex also starts the segment that follows.
    const RING_node_s* next = point->node->next;
    return point->inside == 0 && next && MCHN_ask_segment_geom_type(point->chain, next) == type;
}

