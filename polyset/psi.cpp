// Polygon-set intersection object: creation and destruction, the class-275
// descriptor, node records, wrapping polys into box-tree search records, the
// box search, sub-segment marks and the removal of a wrapped poly from the
// network.
#include "chain/chain_record.h"
#include "polyset/psi_gouge.h"
#include "polyset/psi_internal.h"
#include "polyset/psi_ray.h"
#include "polyset/psi_set.h"

#include <merrow1/poly_intxn.h>
#include <merrow1/poly_seg_chain.h>
#include <merrow1/poly_seg_grid.h>
#include <merrow1/poly_seg_offset.h>

#include "exact/line_arc_seg_prd.h"
#include "internal/scratch_pool.h"

#include <stend/error.h>
#include <stend/system.h>
#include <velte/cerr.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

using merrow1::psi::seg_end;
using merrow1::psi::seg_index;
using merrow1::psi::seg_piece;
using merrow1::psi::seg_start;

// Places of the wrapped segments in the order the object wrapped them:
// appended as they are wrapped; a tie sorts those appended since the last
// one by record and merges them into the sorted front.
//
// The record also holds the object's kept working lists (PSI__scratch).
struct PSI_segment_order_s {
    std::vector<std::pair<const RING_node_s*, unsigned long>> places;
    size_t sorted = 0;  // places[0, sorted) are in record order
    unsigned long next = 0;
    PSI_scratch_s scratch;
};

namespace {

// The record of the last object the thread destroyed, emptied: the next
// object takes it with the memory its lists kept, so that a run of small
// operations (each with an object of its own) allocates them once.
thread_local std::unique_ptr<PSI_segment_order_s> t_spare_order;

PSI_segment_order_s* segment_order_of(PSI_s* psi) {
    if (!psi->segment_order) psi->segment_order = t_spare_order ? t_spare_order.release() : new PSI_segment_order_s();
    return psi->segment_order;
}

// Empties a destroyed object's record (as a new one) and keeps it as the
// thread's spare; a list that grew large gives its memory back.
void park_segment_order(PSI_segment_order_s* order) {
    if (!order) return;
    PSI__scratch_release(order->places);
    order->sorted = 0;
    order->next = 0;
    PSI_scratch_s& k = order->scratch;
    PSI__scratch_release(k.sort_nodes);
    PSI__scratch_release(k.sort_order);
    PSI__scratch_release(k.sort_equal_prev);
    for (std::vector<uint32_t>* v : {&k.flood_stack, &k.walked, &k.boundary, &k.loop_keys, &k.point_slot})
        PSI__scratch_release(*v);
    PSI__scratch_release(k.right_levels);
    PSI__scratch_release(k.boundary_mark);
    if (t_spare_order)
        delete order;
    else
        t_spare_order.reset(order);
}

}  // namespace

PSI_scratch_s& PSI__scratch(PSI_s* psi) { return segment_order_of(psi)->scratch; }

namespace {

// A segment wrapped again (a later operation of the object) takes a new
// place at the end of the order.
void note_wrapped(PSI_s* psi, const RING_node_s* seg) {
    PSI_segment_order_s* order = segment_order_of(psi);
    order->places.emplace_back(seg, order->next++);
}

// Room for the places of the segments of a poly about to be wrapped: the
// list grows at most once per poly (at least doubling), from 64 places on.
void make_room_to_note(PSI_s* psi, size_t count) {
    auto& places = segment_order_of(psi)->places;
    if (places.capacity() - places.size() >= count) return;
    places.reserve(std::max({2 * places.capacity(), places.size() + count, size_t{64}}));
}

// The latest place of a wrapped segment; false when it was never wrapped.
bool place_of(PSI_segment_order_s* order, const RING_node_s* seg, unsigned long* place) {
    typedef std::pair<const RING_node_s*, unsigned long> Place;
    auto by_record = [](const Place& x, const Place& y) {
        if (x.first != y.first) return std::less<const RING_node_s*>()(x.first, y.first);
        return x.second < y.second;
    };
    auto& places = order->places;
    if (order->sorted < places.size()) {
        const auto middle = places.begin() + static_cast<std::ptrdiff_t>(order->sorted);
        std::sort(middle, places.end(), by_record);
        std::inplace_merge(places.begin(), middle, places.end(), by_record);
        order->sorted = places.size();
    }
    const auto it = std::upper_bound(places.begin(), places.end(), Place(seg, ~0UL), by_record);
    if (it == places.begin() || (it - 1)->first != seg) return false;
    *place = (it - 1)->second;
    return true;
}

const char kFile[] = "psi";

bool g_class_ready = false;
OBJECT_entry_t g_descriptor[OBJECT_BASE_ENTRIES + PSI_OWN_SLOTS];

// Block shift of the node array for a size hint: the number of times the hint
// can be halved while it is above 1.
int node_block_shift(int size_hint) {
    int shift = 0;
    while (size_hint > 1) {
        size_hint /= 2;
        ++shift;
    }
    return shift;
}

// Bytes of one node record.
int node_record_size(bool allow_extended_info) {
    return static_cast<int>(allow_extended_info ? PSI_INTXN_NODE_EXTENDED_SIZE : PSI_INTXN_NODE_PLAIN_SIZE);
}

// Grows a pool array to at least n entries of the given size by doubling its
// capacity; the old block goes back to the pool, so repeated growth and resets
// do not leave dead blocks behind.
template <class T>
void grow_buffer(CMEM_pool_s* pool, T** buffer, int* capacity, int n) {
    if (n <= *capacity && *buffer) return;
    int cap = *capacity > 0 ? *capacity : 10;
    while (cap < n) cap *= 2;
    T* fresh = static_cast<T*>(CMEM_private_alloc_in_pool(pool, static_cast<size_t>(cap), sizeof(T), __LINE__,
                                                          __FILE__));
    if (*buffer) {
        std::memcpy(fresh, *buffer, static_cast<size_t>(*capacity) * sizeof(T));
        CMEM_private_delete_object(*buffer);
    }
    *buffer = fresh;
    *capacity = cap;
}

bool boxes_meet(const double* q, const double* b) {
    return !(q[0] > b[1] || q[1] < b[0] || q[2] > b[3] || q[3] < b[2]);
}

void box_union(const double* a, const double* b, double* out) {
    out[0] = a[0] < b[0] ? a[0] : b[0];
    out[1] = a[1] > b[1] ? a[1] : b[1];
    out[2] = a[2] < b[2] ? a[2] : b[2];
    out[3] = a[3] > b[3] ? a[3] : b[3];
}

}  // namespace

// ---------------------------------------------------------------------------
// Class, creation, destruction
// ---------------------------------------------------------------------------

// Sets up the class descriptor once.
static void PSI_init_class() {
    if (g_class_ready) return;
    OBJECT_init_class();
    const OBJECT_entry_t* base = OBJECT_ask_descriptor();
    for (int i = 0; i < OBJECT_BASE_ENTRIES; ++i) g_descriptor[i] = base[i];
    g_descriptor[0] = OBJECT_class_number_entry(PSI_CLASS_NUMBER);
    OBJECT_entry_t* own = g_descriptor + OBJECT_BASE_ENTRIES;
    own[1] = OBJECT_method_entry(&PSI__set_boolean);
    own[2] = OBJECT_method_entry(&PSI__set_clean_each_region_set);
    own[3] = OBJECT_method_entry(&PSI__set_find_minimal_loops);
    own[4] = OBJECT_method_entry(&PSI__set_collect_uncovered_paths);
    own[5] = OBJECT_method_entry(&PSI__set_simple_gouge_check);
    own[6] = OBJECT_method_entry(&PSI__set_degouge_poly_seg);
    own[7] = OBJECT_method_entry(&PSI__set_visit_poly_intersections);
    own[8] = OBJECT_method_entry(&PSI__set_region_gouge_check);
    own[9] = OBJECT_method_entry(&PSI__set_is_material_at_inf);
    own[10] = OBJECT_method_entry(&PSI__set_is_wrap_mat_at_inf);
    own[11] = OBJECT_method_entry(&PSI__set_calc_inf_for_offsets);
    own[14] = OBJECT_method_entry(&PSI__set_extract_final_boundaries);
    own[20] = OBJECT_method_entry(&PSI__set_preprocess_region_sets);
    own[22] = OBJECT_method_entry(&PSI__set_longest_loop_of_poly);
    own[31] = OBJECT_method_entry(&PSI__set_do_interset_intersections);
    own[32] = OBJECT_method_entry(&PSI__ray_calc_winding_number);
    own[33] = OBJECT_method_entry(&PSI__ray_trace_outer_boundary);
    own[34] = OBJECT_method_entry(&PSI__ray_sort_ray_intxn);
    own[35] = OBJECT_method_entry(&PSI__ray_merge_region_up_ray);
    own[36] = OBJECT_method_entry(&PSI__ray_do_delayed_region_merges);
    own[PSI_SLOT_ASK_MEM_POOL] = OBJECT_method_entry(&PSI__ask_mem_pool);
    own[PSI_SLOT_REMOVE_WRAPPED_POLY] = OBJECT_method_entry(&PSI__remove_wrapped_poly);
    own[PSI_SLOT_IXN_INTERSECT_2_SETS] = OBJECT_method_entry(&PSI__ixn_intersect_2_sets);
    own[PSI_SLOT_VISIT_WRAPPED_POLY_INTXN] = OBJECT_method_entry(&PSI__visit_wrapped_poly_intxn);
    own[PSI_SLOT_VISIT_SET_OF_WRAPPED_POLY] = OBJECT_method_entry(&PSI__visit_set_of_wrapped_poly);
    own[PSI_SLOT_WRAP_INIT_POLY_SET] = OBJECT_method_entry(&PSI__wrap_init_poly_set);
    own[PSI_SLOT_WRAP_INIT_POLY] = OBJECT_method_entry(&PSI__wrap_init_poly);
    own[PSI_SLOT_RESET] = OBJECT_method_entry(&PSI__reset);
    own[PSI_SLOT_COVER_PATHS] = OBJECT_method_entry(&PSI__cover_paths);
    own[PSI_SLOT_WRAP_POLY] = OBJECT_method_entry(&PSI__wrap_poly);
    own[PSI_SLOT_UNWRAP_POLY] = OBJECT_method_entry(&PSI__unwrap_poly);
    own[PSI_SLOT_IXN_INIT_POLY_INTXN_NODES] = OBJECT_method_entry(&PSI__ixn_init_poly_intxn_nodes);
    own[PSI_SLOT_IXN_INTERSECT_2_POLY] = OBJECT_method_entry(&PSI__ixn_intersect_2_poly);
    own[PSI_SLOT_IXN_HANDLE_2SEG_INTERSECT] = OBJECT_method_entry(&PSI__ixn_handle_2seg_intersect);
    own[PSI_SLOT_IXN_SORT_INTERSECTS] = OBJECT_method_entry(&PSI__ixn_sort_intersects);
    own[PSI_SLOT_IXN_SORT_INTERSECTS_ALONG_LINE] = OBJECT_method_entry(&PSI__ixn_sort_intersects_along_line);
    own[PSI_SLOT_IXN_SORT_INTERSECTS_ALONG_ARC] = OBJECT_method_entry(&PSI__ixn_sort_intersects_along_arc);
    own[PSI_SLOT_IXN_HIDE_DUPLICATES] = OBJECT_method_entry(&PSI__ixn_hide_duplicates);
    g_class_ready = true;
}

PSI_s* PSI_create(int size_hint, bool keep_wrappers, bool allow_extended_info, PSI_create_data_cb_t create_data,
                  PSI_node_compare_cb_t node_compare) {
    // 1. The private pool; deleted again when anything below fails.
    CMEM_pool_s* pool = CMEM_private_create_pool(256, "pool for PSI", __LINE__, __FILE__);
    try {
        return merrow1::run_converting([&]() -> PSI_s* {
            // 2. The object and its descriptor.
            PSI_s* psi = CMEM_NEW(pool, PSI_s);
            PSI_init_class();
            psi->descriptor = g_descriptor;
            psi->pool = pool;
            // 3. Node array, blocks sized by the hint; without one the first
            //    input sizes them (PSI__fit_nodes_to_input) and this array
            //    stands until then.
            const int shift = node_block_shift(size_hint);
            psi->nodes = DYNAMIC_ARRAY__create(pool, node_record_size(allow_extended_info), shift, 1 << shift);
            psi->nodes_fitted = size_hint > 0;
            // 4. Free list and scratch buffers.
            psi->free_nodes = nullptr;
            psi->line_sort = nullptr;
            psi->line_sort_capacity = 0;
            psi->arc_sort = nullptr;
            psi->arc_sort_capacity = 0;
            psi->ray = nullptr;
            psi->ray_capacity = 0;
            grow_buffer(pool, &psi->line_sort, &psi->line_sort_capacity, 10);
            grow_buffer(pool, &psi->arc_sort, &psi->arc_sort_capacity, 10);
            grow_buffer(pool, &psi->ray, &psi->ray_capacity, 10);
            // 5. Extended-precision unit table.
            LINE_ARC_SEG_mth_init_arithmetic();
            // 6. The rest.
            psi->keep_wrappers = keep_wrappers;
            psi->pairs = DYNAMIC_ARRAY__create(pool, 16, 6, 64);
            psi->allow_extended_info = allow_extended_info;
            psi->create_data = create_data;
            psi->node_compare = node_compare;
            psi->next_node_id = 0;
            psi->loop_levels = PSI_LOOP_LEVELS_ALL;
            psi->segment_order = nullptr;
            if (!psi->nodes || !psi->pairs) ERROR_internal(kFile, __LINE__, "PSI_create: out of memory");
            return psi;
        });
    } catch (Korvo::Error::Exception& e) {
        CMEM_private_delete_pool(pool);
        throw;
    }
}

void PSI_destroy(PSI_s* psi) {
    if (!psi) return;
    park_segment_order(psi->segment_order);
    psi->segment_order = nullptr;
    CMEM_private_delete_pool(psi->pool);
}

CMEM_pool_s* PSI__ask_mem_pool(void* psi) { return static_cast<PSI_s*>(psi)->pool; }

void PSI__ensure_line_sort(PSI_s* psi, int n) { grow_buffer(psi->pool, &psi->line_sort, &psi->line_sort_capacity, n); }
void PSI__ensure_arc_sort(PSI_s* psi, int n) { grow_buffer(psi->pool, &psi->arc_sort, &psi->arc_sort_capacity, n); }
void PSI__ensure_ray(PSI_s* psi, int n) { grow_buffer(psi->pool, &psi->ray, &psi->ray_capacity, n); }

// ---------------------------------------------------------------------------
// Node records
// ---------------------------------------------------------------------------

PSI_INTXN_NODE_s* PSI__new_segment_intxn_node(PSI_s* psi) {
    PSI_INTXN_NODE_s* node = psi->free_nodes;
    if (node) {
        psi->free_nodes = node->pn_along[0];
    } else {
        node = static_cast<PSI_INTXN_NODE_s*>(DYNAMIC_ARRAY_take_element(psi->nodes));
        if (!node) ERROR_internal(kFile, __LINE__, "PSI: cannot allocate an intersection node");
    }
    std::memset(node, 0, PSI_INTXN_NODE_PLAIN_SIZE);
    if (psi->allow_extended_info) node->extended[0] = node->extended[1] = nullptr;
    for (int a = 0; a < 4; ++a) {
        node->next_around[a] = node;
        node->next_around_idx[a] = static_cast<unsigned char>(a);
    }
    node->id = 0;
    if (MACH__checking_level >= 1) node->id = psi->next_node_id++;
    node->next = nullptr;
    return node;
}

void PSI__free_segment_intxn_node(PSI_s* psi, PSI_INTXN_NODE_s* node) {
    std::memset(node, 0, PSI_INTXN_NODE_PLAIN_SIZE);
    node->pn_along[0] = psi->free_nodes;
    psi->free_nodes = node;
}

void PSI__reset(void* object) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    DA_set_num_active(psi->nodes, 0);
    psi->free_nodes = nullptr;
    psi->next_node_id = 0;
    if (psi->segment_order) {
        psi->segment_order->places.clear();
        psi->segment_order->sorted = 0;
    }
}

// ---------------------------------------------------------------------------
// Wrapping order of the segments
// ---------------------------------------------------------------------------

bool PSI__segment_before(const PSI_s* psi, const RING_node_s* a, const RING_node_s* b) {
    unsigned long pa = 0, pb = 0;
    if (psi->segment_order && place_of(psi->segment_order, a, &pa) && place_of(psi->segment_order, b, &pb))
        return pa < pb;
    return std::less<const RING_node_s*>()(a, b);
}

long PSI__count_pieces(const RING_header_s* set, int depth) {
    if (!set) return 0;
    long pieces = 0;
    RING_node_s* n = set->first;
    for (int i = 0; n && i < set->count; ++i, n = n->next) {
        const RING_header_s* sub = RING_ask_node_subring(n);
        if (sub) pieces += depth > 1 ? PSI__count_pieces(sub, depth - 1) : sub->count;
    }
    return pieces;
}

void PSI__fit_nodes_to_input(PSI_s* psi, long pieces) {
    if (psi->nodes_fitted || psi->nodes->allocated_blocks > 0) return;
    psi->nodes_fitted = true;
    // A node at the start of every piece and one or more at each crossing:
    // twice the pieces is a fair first size.
    const int hint = static_cast<int>(std::min(2 * std::max(pieces, 0L) + 16, 1L << 16));
    const int shift = node_block_shift(hint);
    if (shift == psi->nodes->shift) return;
    // The block table starts with room for 64 blocks and doubles when full.
    DYNAMIC_ARRAY_s* fitted = DYNAMIC_ARRAY__create(psi->pool, node_record_size(psi->allow_extended_info), shift, 64);
    if (!fitted) ERROR_internal(kFile, __LINE__, "PSI__fit_nodes_to_input: out of memory");
    DYNAMIC_ARRAY__destroy(psi->nodes);
    psi->nodes = fitted;
}

// ---------------------------------------------------------------------------
// Wrapping and the box tree
// ---------------------------------------------------------------------------

void PSI__build_box_tree(PSI_segment_search_wrapper_s* w) {
    const int n = w->count;
    const int last = 2 * n - 2;  // position of the last leaf
    int span = 1;
    while (span < n) span *= 2;
    w->root_span = span;
    // Level by level from span 2: position p of span s has children p -/+ s/2;
    // a right child beyond the last leaf is replaced by its left descendants,
    // which were formed on lower levels (every inner box is the union of the
    // leaves below it that exist).
    for (int s = 2; s <= span; s *= 2) {
        for (int p = s - 1; p <= last; p += 2 * s) {
            int right = p + s / 2;
            int rs = s / 2;
            while (right > last) {
                rs /= 2;
                right -= rs;
            }
            box_union(w->boxes[p - s / 2], w->boxes[right], w->boxes[p]);
        }
    }
}

namespace {

// A wrapper without arrays and segments.
void clear_wrapper_arrays(PSI_segment_search_wrapper_s* w) {
    w->segs = nullptr;
    w->first_nodes = nullptr;
    w->boxes = nullptr;
    w->sizes = nullptr;
    w->count = 0;
    w->root_span = 0;
}

}  // namespace

void PSI__unwrap_poly(PSI_segment_search_wrapper_s* w) {
    if (!w) return;
    CMEM_private_delete_object(w->segs);
    CMEM_private_delete_object(w->first_nodes);
    CMEM_private_delete_object(w->boxes);
    CMEM_private_delete_object(w->sizes);
    clear_wrapper_arrays(w);
}

void PSI__wrap_poly(void* object, RING_header_s* poly, PSI_segment_search_wrapper_s* w) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    // 1. Poly, contiguous, nothing pending.
    w->poly = poly;
    w->contiguous = 1;
    w->pending = 0;
    clear_wrapper_arrays(w);
    if (!poly || !poly->first || poly->count < 1) return;
    // 2. Segment count: every node of a closed poly; one less for an open poly
    // (its first node only gives the start point).
    const bool closed = merrow1::is_closed(poly);
    int count = closed ? poly->count : poly->count - 1;
    if (count < 1) count = 1;
    // 3. Arrays in the object's pool.
    w->segs = CMEM_NEW_ARRAY(psi->pool, RING_node_s*, count);
    w->first_nodes = CMEM_NEW_ARRAY(psi->pool, PSI_INTXN_NODE_s*, count);
    w->boxes = static_cast<double(*)[4]>(
        CMEM_private_alloc_in_pool(psi->pool, static_cast<size_t>(2 * count - 1), sizeof(double[4]), __LINE__,
                                   __FILE__));
    w->sizes = CMEM_NEW_ARRAY(psi->pool, double, count);
    // 4. Walk the segments: the segment of each step is the next node.  Empty
    // boxes (zero-length pieces) and hidden segments are left out.
    make_room_to_note(psi, static_cast<size_t>(count));
    int kept = 0;
    RING_node_s* node = poly->first;
    const int steps = closed ? poly->count : poly->count - 1;
    for (int i = 0; i < steps; ++i) {
        RING_node_s* seg = node->next;
        node = seg;
        if (!seg) break;
        const PNT2_s start = seg_start(seg);
        double box[4];
        LINE_ARC_SEG_get_bbox(seg_piece(seg), &start, true, box);
        const double width = box[1] - box[0];
        const double height = box[3] - box[2];
        const double size = width > height ? width : height;
        if (!(size > 0)) continue;
        if (seg_piece(seg)->flags & merrow1::psi::SEG_FLAG_HIDDEN) {
            w->contiguous = 0;
            continue;
        }
        w->segs[kept] = seg;
        w->first_nodes[kept] = nullptr;
        note_wrapped(psi, seg);
        std::memcpy(w->boxes[2 * kept], box, sizeof box);
        w->sizes[kept] = size;
        ++kept;
    }
    // 5. Count of kept segments; none frees the arrays, else the tree.
    w->count = kept;
    if (kept == 0) {
        PSI__unwrap_poly(w);
        return;
    }
    PSI__build_box_tree(w);
}

PSI_segment_search_wrapper_s* PSI__wrap_poly_into(PSI_s* psi, DYNAMIC_ARRAY_s* array, RING_header_s* poly) {
    const int before = array->num_active;
    auto* w = static_cast<PSI_segment_search_wrapper_s*>(DYNAMIC_ARRAY_take_element(array));
    PSI__wrap_poly(psi, poly, w);
    if (w->count != 0) return w;
    DA_set_num_active(array, before);
    return nullptr;
}

PSI_segment_search_wrapper_s* PSI__wrap_init_poly(void* object, RING_header_s* poly) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    PSI_segment_search_wrapper_s* w = CMEM_NEW(psi->pool, PSI_segment_search_wrapper_s);
    PSI__wrap_poly(psi, poly, w);
    PSI__ixn_init_poly_intxn_nodes(psi, w);
    return w;
}

DYNAMIC_ARRAY_s* PSI__create_wrapper_array(PSI_s* psi, int polys) {
    int shift = 1;
    while (shift < 5 && (1 << shift) < polys) ++shift;
    DYNAMIC_ARRAY_s* array =
        DYNAMIC_ARRAY__create(psi->pool, static_cast<int>(sizeof(PSI_segment_search_wrapper_s)), shift, 5);
    if (!array) ERROR_internal(kFile, __LINE__, "PSI: cannot create a wrapper array");
    return array;
}

DYNAMIC_ARRAY_s* PSI__wrap_init_poly_set(void* object, RING_header_s* set) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    DYNAMIC_ARRAY_s* array = PSI__create_wrapper_array(psi, set ? set->count : 0);
    if (!set) return array;
    RING_node_s* n = set->first;
    for (int i = 0; n && i < set->count; ++i, n = n->next) {
        RING_header_s* poly = RING_ask_node_subring(n);
        if (poly) PSI__wrap_poly_into(psi, array, poly);
        if (n == set->last) break;
    }
    for (int i = 0; i < array->num_active; ++i)
        PSI__ixn_init_poly_intxn_nodes(psi, static_cast<PSI_segment_search_wrapper_s*>(DYNAMIC_ARRAY_element_at(array, i)));
    return array;
}

bool PSI_search_wrapped_poly(PSI_segment_search_wrapper_s* w, const double box[4],
                             bool (*visitor)(RING_node_s* segment, void* data), void* data) {
    if (!w || w->count == 0 || !box || !visitor) return false;
    return PSI__walk_box_tree(
        w, [&](const double* node_box) { return boxes_meet(box, node_box); },
        [&](int i, const double*) { return visitor(w->segs[i], data); });
}

// ---------------------------------------------------------------------------
// Visits and sub-segment marks
// ---------------------------------------------------------------------------

void PSI__visit_wrapped_poly_intxn(PSI_segment_search_wrapper_s* w, PSI_subsegment_visitor_t visitor, void* data) {
    if (!w || !visitor) return;
    for (int i = 0; i < w->count; ++i) {
        PSI_INTXN_NODE_s* node = w->first_nodes ? w->first_nodes[i] : nullptr;
        RING_node_s* seg = w->segs[i];
        // Bounded by the node records in use: a broken list cannot loop.
        for (int guard = 0; node; ++guard) {
            const int idx = seg_index(node, seg);
            if (idx < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
            PSI_INTXN_NODE_s* next = node->pn_along[2 + idx];
            if (!next) break;
            const int next_idx = seg_index(next, seg);
            if (next_idx < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
            visitor(next, next_idx, 2 + idx, data);
            node = next;
            if (guard > (1 << 30)) ERROR_internal(kFile, __LINE__, "PSI: node list does not end");
        }
    }
}

void PSI__visit_set_of_wrapped_poly(DYNAMIC_ARRAY_s* wrappers, PSI_subsegment_visitor_t visitor, void* data) {
    if (!wrappers) return;
    for (int i = 0; i < wrappers->num_active; ++i)
        PSI__visit_wrapped_poly_intxn(static_cast<PSI_segment_search_wrapper_s*>(DYNAMIC_ARRAY_element_at(wrappers, i)),
                                      visitor, data);
}

namespace {
// The node before the sub-segment that ends at (node, index): the neighbour
// along the backward arm of that segment.
PSI_INTXN_NODE_s* previous_of(PSI_INTXN_NODE_s* node, int index) { return node->pn_along[index]; }
int previous_index(PSI_INTXN_NODE_s*, int previous_arm) { return previous_arm & 1; }
}  // namespace

void PSI_blank_subsegment(PSI_INTXN_NODE_s* node, int index, int previous_arm, void*) {
    node->flags[index] |= PSI_NODE_FLAG_ARRIVE_BLANK;
    PSI_INTXN_NODE_s* prev = previous_of(node, index);
    if (prev) prev->flags[previous_index(prev, previous_arm)] |= PSI_NODE_FLAG_LEAVE_BLANK;
}

void PSI_unblank_subsegment(PSI_INTXN_NODE_s* node, int index, int previous_arm, void*) {
    node->flags[index] &= static_cast<uint16_t>(~PSI_NODE_FLAG_ARRIVE_BLANK);
    PSI_INTXN_NODE_s* prev = previous_of(node, index);
    if (prev) prev->flags[previous_index(prev, previous_arm)] &= static_cast<uint16_t>(~PSI_NODE_FLAG_LEAVE_BLANK);
}

void PSI_reverse_subsegment(PSI_INTXN_NODE_s* node, int index, int previous_arm, void*) {
    node->flags[index] |= PSI_NODE_FLAG_REVERSED;
    PSI_INTXN_NODE_s* prev = previous_of(node, index);
    if (prev) prev->flags[previous_index(prev, previous_arm)] |= PSI_NODE_FLAG_REVERSED;
}

void PSI_reset_subsegment_op_flags(PSI_INTXN_NODE_s* node, int index, int previous_arm, void*) {
    const uint16_t clear = static_cast<uint16_t>(~(PSI_NODE_FLAG_OP_1 | PSI_NODE_FLAG_OP_TAKEN));
    if (node->flags[index] & PSI_NODE_FLAG_REVERSED) {
        PSI_INTXN_NODE_s* prev = previous_of(node, index);
        if (prev) prev->flags[previous_index(prev, previous_arm)] &= clear;
    } else {
        node->flags[index] &= clear;
    }
}

void PSI_reset_subsegment_op_flags_extended(PSI_INTXN_NODE_s* node, int index, int previous_arm, void* data) {
    // data: the object; its records carry the extended words only with
    // allow_extended_info.
    const PSI_s* psi = static_cast<const PSI_s*>(data);
    const uint16_t clear = static_cast<uint16_t>(~(PSI_NODE_FLAG_OP_1 | PSI_NODE_FLAG_OP_TAKEN));
    PSI_INTXN_NODE_s* holder = node;
    int holder_index = index;
    if (node->flags[index] & PSI_NODE_FLAG_REVERSED) {
        holder = previous_of(node, index);
        holder_index = previous_index(holder, previous_arm);
    }
    if (!holder) return;
    holder->flags[holder_index] &= clear;
    if (psi && psi->allow_extended_info) holder->extended[holder_index] = nullptr;
}

void PSI_set_subsegment_inside(PSI_INTXN_NODE_s* node, int index, int, void*) {
    node->flags[index] |= PSI_NODE_FLAG_INSIDE;
}
void PSI_clear_subsegment_inside(PSI_INTXN_NODE_s* node, int index, int, void*) {
    node->flags[index] &= static_cast<uint16_t>(~PSI_NODE_FLAG_INSIDE);
}
void PSI_clear_subsegment_op_1(PSI_INTXN_NODE_s* node, int index, int, void*) {
    node->flags[index] &= static_cast<uint16_t>(~PSI_NODE_FLAG_OP_1);
}

bool PSI_walks_back_along(const RING_node_s* a, bool forward_a, const RING_node_s* b, bool forward_b) {
    const LINE_ARC_SEG_s* pa = seg_piece(a);
    const LINE_ARC_SEG_s* pb = seg_piece(b);
    const bool line_a = LINE_ARC_SEG_is_line(pa);
    const bool line_b = LINE_ARC_SEG_is_line(pb);
    if (line_a || line_b) return line_a && line_b;
    // Walked senses: back along the first means opposite senses.
    if (((pa->h >= 0) == forward_a) == ((pb->h >= 0) == forward_b)) return false;
    // One circle: the same centre, decided on b taken in a's sense.
    const PNT2_s start_a = seg_start(a);
    PNT2_s start_b = seg_start(b);
    LINE_ARC_SEG_s turned = *pb;
    if ((pa->h >= 0) != (pb->h >= 0)) {
        turned.x = start_b.x;
        turned.y = start_b.y;
        turned.h = LINE_ARC_SEG_reversed_h(pb->h);
        start_b = PNT2_s{pb->x, pb->y};
        LINE_ARC_SEG_set_centre(&turned, &start_b);
    }
    return LINE_ARC_SEG_prd_seg_forms_are_identical(&start_a, pa, &start_b, &turned);
}

bool PSI_INTXN_NODE_is_telomere_join(const PSI_INTXN_NODE_s* node, int arm) {
    const RING_node_s* seg = node->segs[arm & 1];
    if (!seg) return false;
    const uint32_t f = seg_piece(seg)->flags;
    if (!(f & (merrow1::psi::SEG_FLAG_START_TELOMERE | merrow1::psi::SEG_FLAG_END_TELOMERE))) return false;
    if (node->pn_along[arm ^ 2]) return false;
    const bool backward = (arm & 2) == 0;
    if (f & merrow1::psi::SEG_FLAG_START_TELOMERE) return backward;
    return !backward;
}

// ---------------------------------------------------------------------------
// Removing segments and wrapped polys from the network
// ---------------------------------------------------------------------------

namespace {

long records_bound(const PSI_s* psi) { return static_cast<long>(psi->nodes->num_active) + 2; }

int first_active_arm(const PSI_INTXN_NODE_s* n) {
    for (int a = 0; a < 4; ++a)
        if (n->pn_along[a]) return a;
    return -1;
}

// Takes node n out of the along list of the segment at index j (sorted or
// not): its predecessor in the forward chain is linked to its successor.
void unlink_from_list(const PSI_s* psi, PSI_INTXN_NODE_s* n, int j) {
    RING_node_s* seg = n->segs[j];
    PSI_INTXN_NODE_s* back = n->pn_along[j];
    PSI_INTXN_NODE_s* fwd = n->pn_along[2 + j];
    PSI_INTXN_NODE_s* pred = back;
    for (long guard = 0; pred; ++guard) {
        if (guard > records_bound(psi)) ERROR_internal(kFile, __LINE__, "PSI: node list of a segment does not end");
        const int pi = seg_index(pred, seg);
        if (pi < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
        if (pred->pn_along[2 + pi] == n) {
            pred->pn_along[2 + pi] = fwd;
            break;
        }
        pred = pred->pn_along[2 + pi];
    }
    if (fwd) {
        const int fi = seg_index(fwd, seg);
        if (fi >= 0 && fwd->pn_along[fi] == n) fwd->pn_along[fi] = pred;
    }
    n->pn_along[j] = nullptr;
    n->pn_along[2 + j] = nullptr;
}

// After arms left a point: when the cycle that remains consists of the two
// arms of one segment passing through a single record, that record marks no
// meeting any more and is taken out (its neighbours along the segment are
// linked directly).
void drop_if_redundant(PSI_s* psi, PSI_INTXN_NODE_s* n, int arm, std::vector<PSI_INTXN_NODE_s*>& freed) {
    PSI_INTXN_NODE_s* m = n->next_around[arm];
    const int ma = n->next_around_idx[arm];
    if (m != n) return;
    if (m->next_around[ma] != n || m->next_around_idx[ma] != arm) return;
    if ((arm & 1) != (ma & 1) || arm == ma) return;  // two arms of one segment
    const int j = arm & 1;
    if (!n->pn_along[j] || !n->pn_along[2 + j]) return;  // an end of the segment: a real vertex
    // A record that ends sub-segments with outputs stays: the outputs, and
    // the paths copied from loops, name it.
    if (n->flags[j] & PSI_NODE_FLAG_KEEPER) return;
    if (n->next) ERROR_internal(kFile, __LINE__, "Remaining ghosts at redundent vertex");
    if (n->pn_along[1 - j] || n->pn_along[3 - j])
        ERROR_internal(kFile, __LINE__, "Legitimate intersection at redundent vertex");
    unlink_from_list(psi, n, j);
    PSI__unlink_around(n, j);
    PSI__unlink_around(n, 2 + j);
    freed.push_back(n);
}

// A crossing record off the grid names its point by its two segments and
// its point flag.  When one of them (seg, at index i) leaves while the other
// (t) stays with arms here, the record takes over a further segment u that
// meets t at the same point (one with an arm in the point's cycle), with the
// flag of that meeting, so that the point stays named exactly.
void take_over_partner(PSI_INTXN_NODE_s* n, int i, RING_node_s* seg) {
    const int j = 1 - i;
    RING_node_s* t = n->segs[j];
    if (!t || ((n->flags[0] | n->flags[1]) & PSI_NODE_FLAG_VERTEX)) return;
    const int start = n->pn_along[j] ? j : (n->pn_along[2 + j] ? 2 + j : -1);
    if (start < 0) return;
    int arm = -1;
    const PSI_INTXN_NODE_s* holder = PSI__find_around(
        n, start, 1L << 20,
        [&](const PSI_INTXN_NODE_s* m, int a) {
            const RING_node_s* s = m->segs[a & 1];
            return s && s != t && s != seg;
        },
        &arm);
    if (!holder) return;
    RING_node_s* u = holder->segs[arm & 1];
    // The old point flag with t given first.
    int old = ((n->flags[0] & PSI_NODE_FLAG_ORIENT) ? LINE_ARC_SEG_INTXN_SIDE : 0) |
              ((n->flags[0] & PSI_NODE_FLAG_TOUCH) ? LINE_ARC_SEG_INTXN_TANGENT : 0);
    if (j == 1) old = LINE_ARC_SEG_intxn_flag_for_other_order(old);
    PNT2_s pts[2];
    int fl[2];
    const int count = PSI__intersect_segments(t, u, pts, fl);
    const PNT2_s st = seg_start(t), su = seg_start(u), ss = seg_start(seg);
    for (int k = 0; k < count; ++k) {
        if ((fl[k] & LINE_ARC_SEG_INTXN_AT_END) || pts[k].x != n->pnt.x || pts[k].y != n->pnt.y) continue;
        const int f = fl[k] & (LINE_ARC_SEG_INTXN_SIDE | LINE_ARC_SEG_INTXN_TANGENT);
        if (LINE_ARC_SEG_prd_compare_intxns_ss(&st, seg_piece(t), &su, seg_piece(u), f, &ss, seg_piece(seg), old) != 0)
            continue;
        // Stored with segs[0] first: u takes index i.
        const int stored = j == 0 ? f : LINE_ARC_SEG_intxn_flag_for_other_order(f);
        const uint16_t keep = static_cast<uint16_t>(~(PSI_NODE_FLAG_ORIENT | PSI_NODE_FLAG_TOUCH));
        const uint16_t marks = static_cast<uint16_t>(((stored & LINE_ARC_SEG_INTXN_SIDE) ? PSI_NODE_FLAG_ORIENT : 0) |
                                                     ((stored & LINE_ARC_SEG_INTXN_TANGENT) ? PSI_NODE_FLAG_TOUCH : 0));
        n->segs[i] = u;  // its arms stay with the record that carries them
        n->flags[i] = marks;
        n->flags[j] = static_cast<uint16_t>((n->flags[j] & keep) | marks);
        return;
    }
}

}  // namespace

void PSI__remove_segment(PSI_s* psi, RING_node_s* seg, PSI_INTXN_NODE_s* start) {
    if (!psi || !seg || !start) return;
    // The nodes along the segment, collected before anything changes.
    std::vector<PSI_INTXN_NODE_s*> nodes;
    for (PSI_INTXN_NODE_s* n = start; n;) {
        if (static_cast<long>(nodes.size()) > records_bound(psi))
            ERROR_internal(kFile, __LINE__, "PSI: node list of a segment does not end");
        nodes.push_back(n);
        const int idx = seg_index(n, seg);
        if (idx < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
        n = n->pn_along[2 + idx];
    }
    std::vector<PSI_INTXN_NODE_s*> freed;
    // Unhooks the ghosts of a record that reference the segment and keeps
    // them for freeing; the others stay.
    auto drop_ghosts_of = [&](PSI_INTXN_NODE_s* record) {
        for (PSI_INTXN_NODE_s* prev = record; prev->next;) {
            PSI_INTXN_NODE_s* g = prev->next;
            if (g->segs[0] == seg || g->segs[1] == seg) {
                prev->next = g->next;
                g->next = nullptr;
                freed.push_back(g);
            } else {
                prev = g;
            }
        }
    };
    for (PSI_INTXN_NODE_s* n : nodes) {
        if (std::find(freed.begin(), freed.end(), n) != freed.end()) continue;
        const int i = seg_index(n, seg);
        // 1. Ghosts that reference the segment go; the others stay.
        drop_ghosts_of(n);
        // 2. An arm of the cycle that stays.
        int oa = -1;
        const int own = n->pn_along[i] ? i : 2 + i;
        PSI_INTXN_NODE_s* on = PSI__find_around(
            n, own, 4 * records_bound(psi) + 1,
            [&](const PSI_INTXN_NODE_s* m, int a) { return !(m == n && (a & 1) == i) && m->pn_along[a]; }, &oa);
        // 3. The segment's arms leave the point.
        PSI__unlink_around(n, i);
        PSI__unlink_around(n, 2 + i);
        n->pn_along[i] = nullptr;
        n->pn_along[2 + i] = nullptr;
        take_over_partner(n, i, seg);
        if (n->segs[i] == seg) {
            n->segs[i] = nullptr;
            n->flags[i] &= PSI_NODE_FLAG_VERTEX;
        }
        if (first_active_arm(n) < 0) {
            // 4. Nothing left here: the record goes; its remaining ghosts stay
            // with the point when other arms meet there.
            if (n->next) {
                if (!on) ERROR_internal(kFile, __LINE__, "Remaining ghosts after complete removal of vertex");
                PSI_INTXN_NODE_s* t = on;
                while (t->next) t = t->next;
                t->next = n->next;
                n->next = nullptr;
            }
            freed.push_back(n);
        }
        // Other records of the point may name the segment without carrying
        // its arms (a cover copy keeps the partner of the record it copies),
        // and so may the ghosts they hold: the ghosts go, the records take
        // over a further segment or forget it, so that no record names a
        // segment that is gone.
        if (on) {
            PSI_INTXN_NODE_s* m = on;
            int a = oa;
            for (long guard = 0; guard <= 4 * records_bound(psi); ++guard) {
                drop_ghosts_of(m);
                for (int k = 0; k < 2; ++k) {
                    if (m == n || m->segs[k] != seg || m->pn_along[k] || m->pn_along[2 + k]) continue;
                    take_over_partner(m, k, seg);
                    if (m->segs[k] == seg) {
                        m->segs[k] = nullptr;
                        m->flags[k] &= PSI_NODE_FLAG_VERTEX;
                    }
                }
                PSI_INTXN_NODE_s* mm = m->next_around[a];
                a = m->next_around_idx[a];
                m = mm;
                if (m == on && a == oa) break;
            }
        }
        // 5. A record left holding only a segment passing through is dropped.
        if (on) drop_if_redundant(psi, on, oa, freed);
    }
    for (PSI_INTXN_NODE_s* n : freed) PSI__free_segment_intxn_node(psi, n);
}

void PSI__remove_wrapped_poly(void* object, PSI_segment_search_wrapper_s* w) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!w) return;
    for (int i = 0; i < w->count; ++i) {
        if (!w->first_nodes || !w->first_nodes[i]) continue;
        PSI__remove_segment(psi, w->segs[i], w->first_nodes[i]);
        w->first_nodes[i] = nullptr;
    }
    PSI__unwrap_poly(w);
}

// ---------------------------------------------------------------------------
// Wrapping a chain list
// ---------------------------------------------------------------------------

void PSI_wrap_chain_set(PSI_s* psi, RING_header_s* chains, INT_GRID_MAP_s* grid, POLY_SEG_segment_bits_cb_t vertex_cb,
                        void* vertex_data, PSI_create_data_cb_t create_data, POLY_SEG_piece_offset_cb_t offset_cb,
                        void* offset_data, bool closing, DYNAMIC_ARRAY_s* wrappers) {
    if (!psi || !chains || !wrappers) return;
    CMEM_pool_s* pool = PSI__ask_mem_pool(psi);
    RING_node_s* n = chains->first;
    for (int i = 0; n && i < chains->count; ++i, n = n->next) {
        RING_header_s* chain = RING_ask_node_subring(n);
        RING_header_s* poly =
            chain ? POLY_SEG_create_from_chain(chain, pool, vertex_cb, vertex_data, false, nullptr) : nullptr;
        if (poly) {
            auto* w = static_cast<PSI_segment_search_wrapper_s*>(DYNAMIC_ARRAY_take_element(wrappers));
            POLY_SEG_offset(poly, nullptr, create_data, offset_cb, offset_data, nullptr, nullptr, closing);
            if (grid) POLY_SEG_put_to_grid(poly, grid);
            PSI__wrap_poly(psi, poly, w);
            PSI__ixn_init_poly_intxn_nodes(psi, w);
        }
        if (n == chains->last) break;
    }
}

// ---------------------------------------------------------------------------
// Cover paths
// ---------------------------------------------------------------------------

namespace {

// The cover poly of one loop while it is built.
struct CoverBuild {
    PSI_s* psi = nullptr;
    CMEM_pool_s* pool = nullptr;
    PSI_create_data_cb_t create_data = nullptr;
    void* client = nullptr;
    bool handled = true;
    RING_header_s* cover = nullptr;
    std::vector<std::pair<RING_node_s*, PSI_INTXN_NODE_s*>> starts;       // cover segment, its start copy
    std::vector<std::pair<PSI_INTXN_NODE_s*, PSI_INTXN_NODE_s*>> copies;  // original node, its copy
};

RING_node_s* cover_of(const RING_node_s* seg) {
    return static_cast<RING_node_s*>(APP_DATA__ask_app_data(seg->app_data, merrow1::psi::KEY_COVER));
}

PSI_INTXN_NODE_s* copy_of(const CoverBuild& b, const PSI_INTXN_NODE_s* n, const RING_node_s* cover) {
    for (const auto& c : b.copies)
        if (c.first == n && seg_index(c.second, cover) >= 0) return c.second;
    return nullptr;
}

// The start node of the segment: back along it from one of its nodes.
PSI_INTXN_NODE_s* segment_start(const PSI_s* psi, PSI_INTXN_NODE_s* n, const RING_node_s* seg) {
    for (long guard = 0; guard <= records_bound(psi); ++guard) {
        const int i = seg_index(n, seg);
        if (i < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
        if (!n->pn_along[i]) return n;
        n = n->pn_along[i];
    }
    ERROR_internal(kFile, __LINE__, "PSI: node list of a segment does not end");
}

// Appends a copy of the segment to the cover poly and duplicates the nodes
// along it onto the copy; each copy joins the cycle of the node it copies.
void cover_segment(CoverBuild& b, RING_node_s* seg, PSI_INTXN_NODE_s* any_node) {
    const PNT2_s a = seg_start(seg);
    if (!b.cover) {
        b.cover = POLY_SEG_create(b.pool);
        POLY_SEG_append_line(b.cover, &a);  // the start point
    } else {
        const LINE_ARC_SEG_s* last = seg_piece(b.cover->last);
        if (last->x != a.x || last->y != a.y) {
            // Not continuing: a hidden connecting line first.
            RING_node_s* link = POLY_SEG_append_line(b.cover, &a);
            seg_piece(link)->flags |= merrow1::psi::SEG_FLAG_HIDDEN;
        }
    }
    LINE_ARC_SEG_s* piece = LINE_ARC_SEG_copy(seg_piece(seg), b.cover->pool);
    RING_node_s* c = RING_insert_after(b.cover, b.cover->last, piece);
    if (b.create_data) b.create_data(b.cover, seg, c, &b.handled, b.client);
    APP_DATA__add_data(&seg->app_data, c, merrow1::psi::KEY_COVER, b.pool);
    // Duplicate the nodes along the segment.
    const size_t record = b.psi->allow_extended_info ? PSI_INTXN_NODE_EXTENDED_SIZE : PSI_INTXN_NODE_PLAIN_SIZE;
    PSI_INTXN_NODE_s* prev = nullptr;
    PSI_INTXN_NODE_s* n = segment_start(b.psi, any_node, seg);
    for (long guard = 0; n; ++guard) {
        if (guard > records_bound(b.psi)) ERROR_internal(kFile, __LINE__, "PSI: node list of a segment does not end");
        const int i = seg_index(n, seg);
        PSI_INTXN_NODE_s* m = PSI__new_segment_intxn_node(b.psi);
        const int id = m->id;
        std::memcpy(m, n, record);
        m->id = id;
        m->next = nullptr;
        m->segs[i] = c;
        for (int k = 0; k < 4; ++k) {
            m->pn_along[k] = nullptr;
            m->next_around[k] = m;
            m->next_around_idx[k] = static_cast<unsigned char>(k);
        }
        if (prev) {
            prev->pn_along[2 + seg_index(prev, c)] = m;
            m->pn_along[i] = prev;
        } else {
            b.starts.push_back({c, m});
        }
        b.copies.push_back({n, m});
        prev = m;
        n = n->pn_along[2 + i];
    }
    // Join each copy's arms into the cycle of its original.
    for (auto it = b.copies.end() - 1;; --it) {
        PSI_INTXN_NODE_s* orig = it->first;
        PSI_INTXN_NODE_s* m = it->second;
        if (seg_index(m, c) < 0) break;
        const int i = seg_index(m, c);
        if (m->pn_along[i] && m->pn_along[2 + i]) {
            m->next_around[i] = m;
            m->next_around_idx[i] = static_cast<unsigned char>(2 + i);
            m->next_around[2 + i] = m;
            m->next_around_idx[2 + i] = static_cast<unsigned char>(i);
        }
        const int ma = m->pn_along[i] ? i : 2 + i;
        const int oi = seg_index(orig, seg);
        const int oa = orig->pn_along[oi] ? oi : 2 + oi;
        PSI__join_around(b.psi, orig, oa, m, ma);
        if (it == b.copies.begin()) break;
    }
}

}  // namespace

void PSI__cover_paths(void* object, RING_header_s* set, bool (*select)(RING_node_s* segment, void* data), void* data,
                      PSI_create_data_cb_t create_data, void* client, DYNAMIC_ARRAY_s* covers) {
    PSI_s* psi = static_cast<PSI_s*>(object);
    if (!psi || !set || !select || !covers) return;
    std::vector<RING_node_s*> made;  // cover segments made by this call
    std::vector<CoverBuild> earlier;  // the builds of the loops before
    RING_node_s* ln = set->first;
    for (int li = 0; ln && li < set->count; ++li, ln = ln->next) {
        POLY_INTXN_s* loop = static_cast<POLY_INTXN_s*>(ln->main_data);
        const int count = POLY_INTXN_count(loop);
        CoverBuild b;
        b.psi = psi;
        b.pool = covers->pool;
        b.create_data = create_data;
        b.client = client;
        std::vector<RING_node_s*> passed;
        for (int k = 0; k < count; ++k) {
            POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, k);
            passed.push_back(e->node->segs[e->arm & 1]);
        }
        // 1. Each selected entry moves onto the cover copy of its segment.
        for (int k = 0; k < count; ++k) {
            POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, k);
            RING_node_s* seg = e->node->segs[e->arm & 1];
            if (!seg || !select(seg, data)) continue;
            RING_node_s* c = cover_of(seg);
            if (!c) {
                cover_segment(b, seg, e->node);
                c = cover_of(seg);
                made.push_back(c);
            }
            // A segment covered while an earlier loop was built has its
            // copies there: the entry moves onto that cover all the same.
            PSI_INTXN_NODE_s* m = copy_of(b, e->node, c);
            for (size_t p = 0; !m && p < earlier.size(); ++p) m = copy_of(earlier[p], e->node, c);
            if (!m) continue;
            e->node = m;
            // 2. The sub-segment on the cover is not blanked.
            PSI_INTXN_NODE_s* nb = m->pn_along[e->arm];
            if (!nb) continue;
            if (e->arm & 2)
                PSI_unblank_subsegment(nb, seg_index(nb, c), e->arm, nullptr);
            else
                PSI_unblank_subsegment(m, e->arm & 1, 2 + seg_index(nb, c), nullptr);
        }
        // 3. Selected segments that coincide with the loop's at its nodes but
        // that the loop does not pass are covered too.
        for (int k = 0; k < count; ++k) {
            POLY_INTXN_node_s* e = POLY_INTXN_entry(loop, k);
            PSI_INTXN_NODE_s* n = e->node;
            PSI_INTXN_NODE_s* m = n;
            int a = e->arm;
            for (long guard = 0; guard <= 4 * records_bound(psi); ++guard) {
                PSI_INTXN_NODE_s* mm = m->next_around[a];
                a = m->next_around_idx[a];
                m = mm;
                if (m == n && a == e->arm) break;
                RING_node_s* s = m->segs[a & 1];
                if (!s || cover_of(s) || std::find(passed.begin(), passed.end(), s) != passed.end()) continue;
                if (std::find(made.begin(), made.end(), s) != made.end()) continue;  // a cover itself
                if (PSI__compare_arms(psi, m, a, n, e->arm) != 0 || !select(s, data)) continue;
                cover_segment(b, s, m);
                made.push_back(cover_of(s));
                ERROR_lprintf("Hidden Cover!\n");
            }
        }
        // 4. The cover poly's wrapper, its first nodes the start copies.
        if (b.cover) {
            auto* w = static_cast<PSI_segment_search_wrapper_s*>(DYNAMIC_ARRAY_take_element(covers));
            PSI__wrap_poly(psi, b.cover, w);
            for (int i = 0; i < w->count; ++i)
                for (const auto& st : b.starts)
                    if (st.first == w->segs[i]) w->first_nodes[i] = st.second;
        }
        earlier.push_back(std::move(b));
        if (ln == set->last) break;
    }
}
