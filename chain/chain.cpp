// The chain record: the chain debug status and debug interface, creation of
// empty chains, the vertex flag word, chain-wide flags and the delete hooks.
#include <merrow1/chain.h>

#include "chain/chain_record.h"

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_debug.h>

#include <stend/system.h>
#include <velte/listwin.h>

#include <cstring>

namespace {
// -100: the environment has not been read yet.
const int kDebugStatusUnread = -100;
int g_chain_debug_status = kDebugStatusUnread;
}  // namespace

// Stored status, reading the environment on the first query at checking level 1.
static int chain_debug_stored_status() {
    if (g_chain_debug_status == kDebugStatusUnread)
        g_chain_debug_status = ENV_translate_variable("HVEX_CHAIN_DEBUG_CHAIN_CONSISTENCY_CHECKING") ? 1 : 0;
    return g_chain_debug_status;
}

int CHAIN_ask_chain_debug_status() {
    if (MACH__checking_level < 1) return 0;
    return chain_debug_stored_status() != 0 ? 1 : 0;
}

int CHAIN_ask_chain_debug_integer_status() {
    if (MACH__checking_level < 1) return 0;
    return chain_debug_stored_status();
}

void CHAIN_set_chain_debug_status(int status) {
    if (MACH__checking_level >= 1) g_chain_debug_status = status;
}

void CHAIN_debug_function_interface(const CHAIN_debug_function_data_t* data) {
    if (MACH__checking_level < 1) return;
    int reason = CALLBACK_ask_reason_number("CHAIN_debug_function");
    if (reason > 0) CALLBACK_call_list(reason, data);
}

void CHAIN_debug_function_set_int_value(int* target, int value) {
    if (target) *target = value;
}

void CHAIN_debug_report(int code, const char* label, RING_header_s* chain, RING_node_s* vertex) {
    if (MACH__checking_level < 1 || !CHAIN_ask_chain_debug_status()) return;
    CHAIN_debug_function_data_t data = {};
    data.request = 1;
    data.code = code;
    data.label = label;
    data.chain = chain;
    data.vertex = vertex;
    CHAIN_debug_function_interface(&data);
}

int CHAIN_debug_query(int code) {
    if (MACH__checking_level < 1 || !CHAIN_ask_chain_debug_status()) return 0;
    int answer = 0;
    CHAIN_debug_function_data_t data = {};
    data.request = 2;
    data.code = code;
    data.pointer_value = &answer;
    CHAIN_debug_function_interface(&data);
    return answer;
}

// ---------------------------------------------------------------------------
// The chain record: creators, the vertex flag word, chain-wide flags and the
// delete hooks.
// ---------------------------------------------------------------------------

namespace {

const unsigned kSegTypeMask = CHAIN_VERTEX_SEG_TYPE_MASK;
const unsigned kSourceSegTypeShift = CHAIN_VERTEX_SOURCE_SEG_TYPE_SHIFT;
const unsigned kGeomTypeShift = CHAIN_VERTEX_GEOM_TYPE_SHIFT;
const unsigned kGeomTypeMask = CHAIN_VERTEX_GEOM_TYPE_MASK;
const unsigned kSourceGeomTypeShift = CHAIN_VERTEX_SOURCE_GEOM_TYPE_SHIFT;
const unsigned kSourceGeomTypeMask = CHAIN_VERTEX_SOURCE_GEOM_TYPE_MASK;

using merrow1::for_each_chain_nested;
using merrow1::is_closed;
using merrow1::main_of;
using merrow1::vertex_record;

// Two bits holding SEGMENT_TYPE + 1 (0: not set) as a SEGMENT_TYPE, -1 for unset.
SEGMENT_TYPE segment_type_of_bits(unsigned bits) { return bits == 0 ? -1 : static_cast<SEGMENT_TYPE>(bits) - 1; }

// Calls visit(node) for the ring's nodes from the first, at most node-count of
// them and stopping at a null link, so a corrupt or half-built ring cannot make
// the walk run on.  visit returns false to stop early; so does the walk.
template <class Visit>
bool walk_nodes(const RING_header_s* ring, Visit visit) {
    RING_node_s* node = ring->first;
    for (int i = 0; i < ring->count && node; ++i, node = node->next)
        if (!visit(node)) return false;
    return true;
}

// Registry first: a key with an entry in the header's delete registry belongs
// to that entry's function (which may be null: then the data is left alone).
bool hand_to_registry(const RING_header_s* chain, APP_DATA_key_t key, void* data) {
    bool found = false;
    RING_app_data_delfunc_t fn = RING_ask_key_delete_func(chain, key, &found);
    if (!found) return false;
    if (fn) fn(data);
    return true;
}

// Header data: the cached box, the closed-with-key mark and the loop-class
// record belong to the chain (each chain is given a record of its own).
void delete_header_datum(const RING_header_s* chain, APP_DATA_key_t key, void* data) {
    if (hand_to_registry(chain, key, data)) return;
    if (key == CHAIN_BOX_APP_DATA_KEY || key == CHAIN_APP_DATA_CLOSED_WITH_KEY || key == CHAIN_APP_DATA_LOOP_CLASS)
        CMEM_private_delete_object(data);
}

enum class VertexDatum { Owned, Shared, Silent, Unknown };

VertexDatum vertex_datum_kind(APP_DATA_key_t key) {
    switch (key) {
        case CHAIN_APP_DATA_TRACE_VERTEX: case CHAIN_BOX_APP_DATA_KEY: case CHAIN_APP_DATA_CLOSED_WITH_KEY:
        case APP_DATA_SOURCE_VERTEX: case APP_DATA_SOURCE_SEGMENT: case CHAIN_APP_DATA_OWNED_37:
        case CHAIN_APP_DATA_STOCK_EXTENSION_SOURCE: case CHAIN_APP_DATA_FIT_GATE: case CHAIN_APP_DATA_POINT_OWNED_231:
        case CHAIN_APP_DATA_Z_AFTER: case CHAIN_APP_DATA_POINT_OWNED_260: case CHAIN_APP_DATA_EMBEDDED_VERTEX:
        case CHAIN_APP_DATA_EMBEDDED_STATE:
            return VertexDatum::Owned;
        case APP_DATA_SPLIT_VERTEX_SOURCE: case CHAIN_APP_DATA_SHARED_29: case CHAIN_APP_DATA_Z:
        case CHAIN_APP_DATA_POINT_54: case CHAIN_APP_DATA_POINT_65: case CHAIN_APP_DATA_SEGMENT_SOURCE:
        case CHAIN_APP_DATA_APPROXIMATED_ARC: case CHAIN_APP_DATA_SELF_NODE: case CHAIN_APP_DATA_SHARED_154:
        case CHAIN_APP_DATA_POINT_157: case CHAIN_APP_DATA_SHARED_197: case CHAIN_APP_DATA_SHARED_215:
        case CHAIN_APP_DATA_SHARED_237: case CHAIN_APP_DATA_SELF_NODE_2: case CHAIN_APP_DATA_SEGMENT_DATA:
        case CHAIN_APP_DATA_CONNECTION: case CHAIN_APP_DATA_EMBEDDED_KEEP:
            return VertexDatum::Shared;
        // Shared references added when vertex data is copied to another vertex:
        // never freed here, and expected, so not listed either.
        case CHAIN_APP_DATA_COPY_REFERENCE_87: case CHAIN_APP_DATA_COPY_REFERENCE_88:
            return VertexDatum::Silent;
        default:
            return VertexDatum::Unknown;
    }
}

void delete_vertex_datum(const RING_header_s* chain, APP_DATA_key_t key, void* data) {
    if (hand_to_registry(chain, key, data)) return;
    // The saved provenance of a strip-end start owns the records it keeps.
    if (key == APP_DATA_STRIP_END_SAVED_SOURCE) {
        void** saved = static_cast<void**>(data);
        for (int k = 0; k < 3; ++k)
            if (saved[k]) CMEM_private_delete_object(saved[k]);
        CMEM_private_delete_object(data);
        return;
    }
    switch (vertex_datum_kind(key)) {
        case VertexDatum::Owned:
            CMEM_private_delete_object(data);
            break;
        case VertexDatum::Shared:
        case VertexDatum::Silent:
            break;
        case VertexDatum::Unknown:
            if (MACH__checking_level >= 1) {
                char name[101];
                STR_snprintf(name, sizeof name, "%s", APP_DATA_convert_key_to_string(key));
                char line[251];
                STR_snprintf(line, sizeof line, "CHAIN__delete_the_vertex_app_data - %s memory is not handled.\n",
                             name);
                BASE_LISTWIN_write(line);
            }
            break;
    }
}

// Hands every entry of the list to the policy in order, freeing each entry and
// moving the head on before the next, so the list is empty at the end.
template <class Policy>
void delete_app_list(const RING_header_s* chain, APP_DATA_s** list, Policy policy) {
    while (*list) {
        APP_DATA_s* entry = *list;
        policy(chain, entry->key, entry->data);
        *list = entry->next;
        CMEM_private_delete_object(entry);
    }
}

void delete_vertex_app_list(const RING_header_s* chain, RING_node_s* node) {
    delete_app_list(chain, &node->app_data, delete_vertex_datum);
}

// Main-data hook, run by the host when the chain's ring is deleted.
int chain_main_data_delete_hook(RING_header_s* chain) {
    CMEM_private_delete_object(chain->main_data);
    chain->main_data = nullptr;
    delete_app_list(chain, &chain->app_data, delete_header_datum);
    return 1;
}

// Node hook, run by the host for every deleted vertex.
int chain_node_delete_hook(RING_header_s* chain, RING_node_s* node) {
    if (CHAIN_vertex_data_s* vertex = vertex_record(node)) {
        CMEM_private_delete_object(vertex->geometry);
        CMEM_private_delete_object(vertex);
    }
    node->main_data = nullptr;
    delete_vertex_app_list(chain, node);
    return 1;
}

void set_default_csys(CSYS* csys) {
    static const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    csys->origin[0] = csys->origin[1] = csys->origin[2] = 0.0;
    std::memcpy(csys->matrix, identity, sizeof identity);
}

// The one creation routine of the three creators.
//   1. Allocate the main-data record in the pool.
//   2. Make the ring of type 1 on it; clear the delete registry and the word after it.
//   3. Register the main-data and node delete hooks.
//   4. Without `initialise` stop: the caller copies a whole model record over it.
//   5-6. Otherwise set the CSYS (given or default) and the creation values.
RING_header_s* create_chain(const CSYS* csys, bool initialise, CMEM_pool_s* pool) {
    CHAIN_main_data_s* data = CMEM_NEW(pool, CHAIN_main_data_s);
    if (!data) return nullptr;
    RING_header_s* chain = RING_create_in_pool(data, RING_TYPE_CHAIN, pool);
    if (!chain) {
        CMEM_private_delete_object(data);
        return nullptr;
    }
    chain->delete_registry = nullptr;
    chain->registry_next = nullptr;
    RING_set_main_data_delfunc(chain, chain_main_data_delete_hook);
    RING_set_node_main_data_delfunc(chain, chain_node_delete_hook);
    if (!initialise) return chain;

    if (csys) data->csys = *csys;
    else set_default_csys(&data->csys);
    data->material_side = 0;
    data->direction = 0;
    data->kind = OFFSET_CHAIN;
    data->use_implied_offset = 0;
    data->implied_offset = 0.0;
    data->region_set_id = 0;
    data->approximation_tolerance_set = 0;
    data->approximation_tolerance = 0.0;
    data->length_tolerance = EQ_ask_length_tolerance();
    data->ethereal = 0;
    return chain;
}

void set_ethereal_byte(RING_header_s* ring, unsigned char value) {
    for_each_chain_nested(ring, [value](RING_header_s* chain) {
        if (CHAIN_main_data_s* data = main_of(chain)) data->ethereal = value;
    });
}

// A chain's back-side test: every vertex from the second node on, node-count
// at most (a closed chain wraps round to the first node, an open one ends at
// its last), carries bit 29.
bool chain_is_back_side(const RING_header_s* chain) {
    RING_node_s* node = chain->first->next;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        const CHAIN_vertex_data_s* vertex = vertex_record(node);
        if (!vertex || !(vertex->flags & CHAIN_VERTEX_BACK_SIDE)) return false;
        if (node == chain->first) break;  // a closed chain has come round
    }
    return true;
}

bool ring_is_back_side(const RING_header_s* ring) {
    if (!ring || !ring->first) return false;
    if (ring->type == RING_TYPE_CHAIN) return chain_is_back_side(ring);
    if (ring->type != RING_TYPE_LIST) return false;
    return walk_nodes(ring, [](RING_node_s* node) {
        const RING_header_s* sub = RING_ask_node_subring(node);
        return !sub || !sub->first || ring_is_back_side(sub);
    });
}

}  // namespace

SEGMENT_TYPE CHAIN_seg_ask_type(const RING_node_s* node) {
    const CHAIN_vertex_data_s* v = vertex_record(node);
    return v ? segment_type_of_bits(v->flags & kSegTypeMask) : -1;
}

void CHAIN_seg_set_type(RING_node_s* node, SEGMENT_TYPE type) {
    CHAIN_vertex_data_s* v = vertex_record(node);
    if (!v) return;
    unsigned bits = (type == SEG_POINT || type == SEG_LINE || type == SEG_ARC) ? static_cast<unsigned>(type) + 1 : 0;
    v->flags = (v->flags & ~kSegTypeMask) | bits;
}

SEGMENT_TYPE CHAIN_seg_ask_source_type(const RING_node_s* node) {
    const CHAIN_vertex_data_s* v = vertex_record(node);
    return v ? segment_type_of_bits((v->flags >> kSourceSegTypeShift) & 0x3u) : -1;
}

CHAIN_geom_type_t CHAIN_seg_ask_geom_type(const RING_node_s* node) {
    const CHAIN_vertex_data_s* v = vertex_record(node);
    if (!v) return 0;
    unsigned value = (v->flags & kGeomTypeMask) >> kGeomTypeShift;
    return value <= 5 ? static_cast<CHAIN_geom_type_t>(value) : 0;
}

void CHAIN_seg_set_geom_type(RING_node_s* node, CHAIN_geom_type_t type) {
    CHAIN_vertex_data_s* v = vertex_record(node);
    if (!v) return;
    unsigned value = (type >= 1 && type <= 5) ? static_cast<unsigned>(type) : 0;
    v->flags = (v->flags & ~kGeomTypeMask) | (value << kGeomTypeShift);
}

CHAIN_source_geom_type_t CHAIN_seg_ask_source_geom_type(const RING_node_s* node) {
    const CHAIN_vertex_data_s* v = vertex_record(node);
    if (!v) return 0;
    return static_cast<CHAIN_source_geom_type_t>((v->flags & kSourceGeomTypeMask) >> kSourceGeomTypeShift);
}

void CHAIN_seg_set_source_geom_type(RING_node_s* node, CHAIN_source_geom_type_t type) {
    CHAIN_vertex_data_s* v = vertex_record(node);
    if (!v) return;
    // Only 0 to 7 fit the three bits; anything else must not reach bit 10.
    unsigned value = (type >= 1 && type <= 7) ? static_cast<unsigned>(type) : 0;
    v->flags = (v->flags & ~kSourceGeomTypeMask) | (value << kSourceGeomTypeShift);
}

int CHAIN_seg_ask_source_surface(const RING_node_s* node) {
    const CHAIN_vertex_data_s* v = vertex_record(node);
    return v ? v->source_surface : 0;
}

bool CHAIN_seg_is_on_bnd(const RING_node_s* node) {
    const CHAIN_vertex_data_s* v = vertex_record(node);
    return v && (v->flags & CHAIN_VERTEX_ON_BOUNDARY);
}

void CHAIN_seg_set_on_bnd(RING_node_s* node, bool on) {
    CHAIN_vertex_data_s* v = vertex_record(node);
    if (!v) return;
    if (on) v->flags |= CHAIN_VERTEX_ON_BOUNDARY;
    else v->flags &= ~static_cast<unsigned>(CHAIN_VERTEX_ON_BOUNDARY);
}

RING_header_s* CHAIN_create_from_csys(const CSYS* csys, CMEM_pool_s* pool) { return create_chain(csys, true, pool); }

RING_header_s* CHAIN_create_empty_chain(const CSYS* csys, CMEM_pool_s* pool) { return create_chain(csys, true, pool); }

RING_header_s* CHAIN_create_from_chain(const RING_header_s* model, CMEM_pool_s* pool) {
    const CHAIN_main_data_s* from = main_of(model);
    if (!from) return create_chain(nullptr, true, pool);
    RING_header_s* chain = create_chain(&from->csys, true, pool);
    if (!chain) return nullptr;
    CHAIN_main_data_s* data = main_of(chain);
    data->material_side = from->material_side;
    data->kind = from->kind;
    data->approximation_tolerance = from->approximation_tolerance_set ? from->approximation_tolerance : 0.0;
    data->approximation_tolerance_set = 1;
    if (from->ethereal) CHAIN_set_ethereal(chain);
    return chain;
}

RING_header_s* CHAIN_create_with_main_data_copied(const RING_header_s* model, CMEM_pool_s* pool) {
    const CHAIN_main_data_s* from = main_of(model);
    if (!from) return create_chain(nullptr, true, pool);
    RING_header_s* chain = create_chain(nullptr, false, pool);
    if (chain) *main_of(chain) = *from;
    return chain;
}

bool CHAIN_all_chains_are_closed(const RING_header_s* list) {
    if (!list || !list->first || !list->last) return false;
    if (list->type == RING_TYPE_CHAIN) return is_closed(list);
    if (list->type != RING_TYPE_LIST) return false;
    return walk_nodes(list, [](RING_node_s* node) {
        const RING_header_s* chain = RING_ask_node_subring(node);
        return !chain || is_closed(chain);
    });
}

bool CHAIN_allChainsAreBackSide(const RING_header_s* ring) { return ring_is_back_side(ring); }

void CHAIN_set_all_geom_type(RING_header_s* chain, CHAIN_geom_type_t type) {
    if (!chain) return;
    walk_nodes(chain, [type](RING_node_s* node) {
        CHAIN_seg_set_geom_type(node, type);
        return true;
    });
}

void CHAIN_setOrigin(RING_header_s* ring, const Korvo::Math::Point3* origin) {
    if (!origin) return;
    for_each_chain_nested(ring, [origin](RING_header_s* chain) {
        if (CHAIN_main_data_s* data = main_of(chain)) {
            data->csys.origin[0] = origin->x;
            data->csys.origin[1] = origin->y;
            data->csys.origin[2] = origin->z;
        }
    });
}

void CHAIN_set_ethereal(RING_header_s* ring) { set_ethereal_byte(ring, 1); }

void CHAIN_unset_ethereal(RING_header_s* ring) { set_ethereal_byte(ring, 0); }

void CHAIN_delete_app_data(RING_header_s* ring) {
    for_each_chain_nested(ring,
                          [](RING_header_s* chain) { delete_app_list(chain, &chain->app_data, delete_header_datum); });
}

void CHAIN_delete_vertex_app_data(RING_header_s* ring) {
    for_each_chain_nested(ring, [](RING_header_s* chain) {
        walk_nodes(chain, [chain](RING_node_s* node) {
            delete_vertex_app_list(chain, node);
            return true;
        });
    });
}
