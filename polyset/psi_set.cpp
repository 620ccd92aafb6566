// Region-set operations of the polygon-set intersection object: preprocessing
// of region sets, intersections between sets, the extraction of the final
// boundaries, booleans, cleaning of each region set and material at infinity.
#include "chain/chain_record.h"
#include "polyset/psi_set.h"
#include "internal/ring_nodes.h"
#include "internal/small_buffer.h"

#include "polyset/psi_gouge.h"
#include "polyset/psi_internal.h"
#include "polyset/psi_ray.h"

#include "exact/orient2d.h"

#include <merrow1/int_grid_map.h>
#include <merrow1/poly_seg_grid.h>

#include <stend/error.h>
#include <stend/system.h>
#include <velte/cerr.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <unordered_map>
#include <unordered_set>
#include <vector>


using merrow1::psi::seg_end;
using merrow1::psi::seg_index;
using merrow1::psi::seg_piece;
using merrow1::psi::seg_start;

namespace {

const char kFile[] = "psi_set";

typedef PSI_segment_search_wrapper_s Wrapper;

inline PSI_s* as_psi(void* object) { return static_cast<PSI_s*>(object); }

inline Wrapper* wrapper_at(DYNAMIC_ARRAY_s* array, int i) {
    return static_cast<Wrapper*>(DYNAMIC_ARRAY_element_at(array, i));
}

using merrow1::ring_nodes;

// Upper bound of the arms of all node records in use: every walk around a
// point or along a loop stays below it.
long arm_bound(const PSI_s* psi) { return 4L * (static_cast<long>(psi->nodes->num_active) + 2); }

// ---------------------------------------------------------------------------
// Half-edges of the network
//
// A half-edge (n, a) leaves node record n along arm a toward n->pn_along[a]:
// one sub-segment travelled in one direction.  Its sub-segment is named by
// its end node in the segment's own direction and the segment's index there;
// the blank, reversed and extraction marks sit in that flag word.
// ---------------------------------------------------------------------------

struct Half {
    PSI_INTXN_NODE_s* n;
    int a;
    bool operator==(const Half& o) const { return n == o.n && a == o.a; }
    bool operator!=(const Half& o) const { return !(*this == o); }
};

// The hash never throws and costs a multiplication, so the chained map keyed
// by half-edges does not store it beside each entry.
struct HalfHash {
    size_t operator()(const Half& h) const noexcept {
        return std::hash<const void*>()(h.n) * 4u + static_cast<size_t>(h.a);
    }
};

// Dense numbers of the node records in use: record i of the node array is
// DYNAMIC_ARRAY_element_at(nodes, i).  A record's number comes from its
// address and the block that holds it (the block of the last look-up is
// tried first: the walks stay among records made together), so tables by
// node record are flat arrays instead of hash maps.  The offset within a
// block is an exact multiple of the record size, so it is divided by a
// shift and a multiplication by the inverse of the size's odd part.
class NodeNumbers {
public:
    explicit NodeNumbers(const DYNAMIC_ARRAY_s* nodes)
        : nodes_(nodes),
          count_(static_cast<size_t>(nodes->num_active)),
          block_bytes_(nodes->block_bytes),
          starts_(block_count(nodes)) {
        // Arm codes (4 per record) are 32-bit.
        if (count_ >= (size_t(1) << 30)) ERROR_internal(kFile, __LINE__, "PSI: too many node records to number");
        for (size_t b = 0; b < starts_.size(); ++b)
            starts_[b] = Start{reinterpret_cast<uintptr_t>(nodes->blocks[b]), static_cast<int>(b)};
        std::sort(starts_.begin(), starts_.end(), [](const Start& a, const Start& b) { return a.address < b.address; });
        uint64_t odd = static_cast<uint64_t>(nodes->element_size);
        while (!(odd & 1)) {
            odd >>= 1;
            ++size_shift_;
        }
        inverse_ = odd;  // Newton's iteration doubles the correct low bits: 3, 6, ..., 96
        for (int i = 0; i < 5; ++i) inverse_ *= 2 - odd * inverse_;
        if (starts_.size() > 0) {
            last_ = starts_[0].address;
            last_base_ = static_cast<size_t>(starts_[0].block) << nodes->shift;
        }
    }
    size_t count() const { return count_; }
    size_t of(const PSI_INTXN_NODE_s* n) {
        const uintptr_t a = reinterpret_cast<uintptr_t>(n);
        if (a - last_ >= block_bytes_) find_block(a);
        const size_t i = last_base_ + static_cast<size_t>(((a - last_) >> size_shift_) * inverse_);
        if (i >= count_) ERROR_internal(kFile, __LINE__, "PSI: node record outside the node array");
        return i;
    }
    PSI_INTXN_NODE_s* record(size_t i) const {
        return static_cast<PSI_INTXN_NODE_s*>(DYNAMIC_ARRAY_element_at(nodes_, static_cast<int>(i)));
    }

private:
    struct Start {
        uintptr_t address;
        int block;
    };
    // The blocks that hold the records in use.
    static size_t block_count(const DYNAMIC_ARRAY_s* nodes) {
        return (static_cast<size_t>(nodes->num_active) + static_cast<size_t>(nodes->mask)) >> nodes->shift;
    }
    void find_block(uintptr_t a) {
        auto it = std::upper_bound(starts_.begin(), starts_.end(), a,
                                   [](uintptr_t v, const Start& s) { return v < s.address; });
        if (it == starts_.begin() || a - (it - 1)->address >= block_bytes_)
            ERROR_internal(kFile, __LINE__, "PSI: node record outside the node array");
        --it;
        last_ = it->address;
        last_base_ = static_cast<size_t>(it->block) << nodes_->shift;
    }
    const DYNAMIC_ARRAY_s* nodes_;
    size_t count_;
    size_t block_bytes_;
    merrow1::SmallBuffer<Start, 4> starts_;  // most networks fit in a block or two
    int size_shift_ = 0;
    uint64_t inverse_ = 1;
    uintptr_t last_ = 0;
    size_t last_base_ = 0;
};

inline RING_node_s* half_segment(const Half& h) { return h.n->segs[h.a & 1]; }
inline bool half_forward(const Half& h) { return (h.a & 2) != 0; }

// The node the half-edge reaches and the arm there that points back.
Half half_arrival(const Half& h) {
    PSI_INTXN_NODE_s* far = h.n->pn_along[h.a];
    const int j = seg_index(far, half_segment(h));
    if (j < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
    return Half{far, half_forward(h) ? j : 2 + j};
}

// The twin: the same sub-segment travelled the other way.
inline Half half_twin(const Half& h) { return half_arrival(h); }

// End node (segment direction) and index of the half-edge's sub-segment.
void half_subsegment(const Half& h, PSI_INTXN_NODE_s** end, int* index) {
    if (half_forward(h)) {
        const Half back = half_arrival(h);
        *end = back.n;
        *index = back.a & 1;
    } else {
        *end = h.n;
        *index = h.a & 1;
    }
}

inline uint16_t& half_flags(const Half& h) {
    PSI_INTXN_NODE_s* end;
    int index;
    half_subsegment(h, &end, &index);
    return end->flags[index];
}

// The flag word of the sub-segment that h and its twin both travel, from the
// two of them without another look-up along the segment.
inline uint16_t& shared_flags(const Half& h, const Half& twin) {
    return half_forward(h) ? twin.n->flags[twin.a & 1] : h.n->flags[h.a & 1];
}

inline bool half_blanked(const Half& h) { return (half_flags(h) & PSI_NODE_FLAG_ARRIVE_BLANK) != 0; }
inline bool half_reversed(const Half& h) { return (half_flags(h) & PSI_NODE_FLAG_REVERSED) != 0; }

// Travelling the half-edge in the sub-segment's working direction (along the
// segment, against it for a reversed sub-segment).
inline bool half_along_working(const Half& h) { return half_forward(h) != half_reversed(h); }

// The mark of the face on the right of the half-edge.
inline uint16_t half_seen_mark(const Half& h) {
    return half_forward(h) ? PSI_SET_MARK_SEEN_RIGHT : PSI_SET_MARK_SEEN_LEFT;
}

// An arm takes part in walks when it has a neighbour and its sub-segment is
// not blanked.
inline bool arm_active(const Half& h) { return h.n->pn_along[h.a] && !half_blanked(h); }

inline Half ccw_next(const Half& h) { return Half{h.n->next_around[h.a], h.n->next_around_idx[h.a]}; }

// The next active arm counter-clockwise after h around its point (h itself
// when it is the only one); blanked arms passed over are handed to `skipped`.
template <class F>
Half ccw_next_active(const PSI_s* psi, const Half& h, F&& skipped) {
    const long bound = arm_bound(psi);
    Half k = ccw_next(h);
    for (long guard = 0; k != h; ++guard) {
        if (guard > bound) ERROR_internal(kFile, __LINE__, "PSI: cycle around a point does not close");
        if (arm_active(k)) return k;
        if (k.n->pn_along[k.a]) skipped(k);
        k = ccw_next(k);
    }
    return h;
}

// The arm before h in counter-clockwise order (the next one clockwise).
Half cw_prev(const PSI_s* psi, const Half& h) {
    const long bound = arm_bound(psi);
    Half k = h;
    for (long guard = 0;; ++guard) {
        if (guard > bound) ERROR_internal(kFile, __LINE__, "PSI: cycle around a point does not close");
        const Half next = ccw_next(k);
        if (next == h) return k;
        k = next;
    }
}

// ---------------------------------------------------------------------------
// Extraction of one connected part of the network
// ---------------------------------------------------------------------------

const int kUnwalked = INT_MIN;

// The level of the face on the right of each half-edge, by arm code.  Levels
// are small (the windings of a few overlapping sets), so a byte holds them;
// the rare level that does not fit is kept in a map beside the bytes.
class LevelTable {
public:
    void assign(size_t arms) { bytes_.assign(arms, kNone); }
    // The byte table, for the object's kept lists (ExtractionLists).
    std::vector<int8_t>& bytes() { return bytes_; }
    int get(uint32_t code) const {
        const int8_t b = bytes_[code];
        if (b == kNone) return kUnwalked;
        if (b == kWide) return wide_.at(code);
        return b;
    }
    void set(uint32_t code, int level) {
        if (level >= -126 && level <= 127) {
            bytes_[code] = static_cast<int8_t>(level);
        } else {
            bytes_[code] = kWide;
            wide_[code] = level;
        }
    }

private:
    static constexpr int8_t kNone = -128;  // not walked
    static constexpr int8_t kWide = -127;  // in the map
    std::vector<int8_t> bytes_;
    std::unordered_map<uint32_t, int> wide_;
};

struct Extraction {
    PSI_s* psi;
    PSI_set_output_s* output;
    RING_header_s* dummy_ring;
    bool second_pass;
    bool* needs_another_pass;
    int loop_number;
    // Zone output: the map.
    BZONE_map_s* map;
    NodeNumbers numbers;
    // Per arm code (4 per node record, see code_of), over all parts
    // extracted by one call: the level of the face on the right of the
    // half-edge (kUnwalked until it is walked); with zone output the zone of
    // that face; with checking on the number of the face walk that met it.
    LevelTable right_level;
    std::vector<BZONE_s*> right_zone;
    std::vector<int> right_face;
    // Scratch of the loop walks: per arm code whether the half-edge is a
    // boundary one (kBoundary) and walked (kUsed); per node record the
    // stack position last pushed from the point it keys (store_simple_loops).
    std::vector<uint8_t> boundary_mark;
    std::vector<uint32_t> point_slot;
    // Arm-code lists of the floods and loop walks (see extract_from,
    // emit_loops, store_simple_loops), kept from one part to the next and
    // from one extraction to the next (see ExtractionLists).  The flood's
    // stack and walked list are done with when the loops are walked, which
    // reuse them as the walk and the loop stack.
    std::vector<uint32_t> flood_stack, walked, boundary, loop_keys;
    // Levels only: the floods find the lowest level of the faces (zero-width
    // faces left out) and nothing is extracted.
    bool levels_only;
    int lowest;

    uint32_t code_of(const Half& h) { return static_cast<uint32_t>(4 * numbers.of(h.n) + static_cast<size_t>(h.a)); }
    Half half_of(uint32_t code) const { return Half{numbers.record(code >> 2), static_cast<int>(code & 3)}; }
};

enum : uint8_t { kBoundary = 1, kUsed = 2 };

// The lists and tables of an extraction are the object's kept ones
// (PSI__scratch), taken over for the extraction, so the extractions of many
// small networks (each region set cleaned by itself) allocate them once.
// The arm-code lists start with room for up to PSI_SCRATCH_KEPT_ENTRIES
// entries (fewer when the network has fewer arms); a large part's lists are
// given back as soon as they are done with, so they do not add to what the
// next part holds, and large tables go when the extraction ends.
class ExtractionLists {
public:
    ExtractionLists(PSI_s* psi, Extraction& x, size_t arms) : kept_(PSI__scratch(psi)), x_(x) {
        swap_all();
        const size_t n = std::min(arms, PSI_SCRATCH_KEPT_ENTRIES);
        for (std::vector<uint32_t>* v : {&x_.flood_stack, &x_.walked, &x_.boundary, &x_.loop_keys}) v->reserve(n);
    }
    ExtractionLists(const ExtractionLists&) = delete;
    ExtractionLists& operator=(const ExtractionLists&) = delete;
    ~ExtractionLists() {
        for (std::vector<uint32_t>* v : {&x_.flood_stack, &x_.walked, &x_.boundary, &x_.loop_keys, &x_.point_slot})
            PSI__scratch_release(*v);
        PSI__scratch_release(x_.right_level.bytes());
        PSI__scratch_release(x_.boundary_mark);
        swap_all();
    }

private:
    void swap_all() {
        x_.flood_stack.swap(kept_.flood_stack);
        x_.walked.swap(kept_.walked);
        x_.boundary.swap(kept_.boundary);
        x_.loop_keys.swap(kept_.loop_keys);
        x_.right_level.bytes().swap(kept_.right_levels);
        x_.boundary_mark.swap(kept_.boundary_mark);
        x_.point_slot.swap(kept_.point_slot);
    }
    PSI_scratch_s& kept_;
    Extraction& x_;
};

// The live zone of the face on the right of a walked half-edge.
BZONE_s* zone_right_of(Extraction& x, const Half& h) {
    BZONE_s* zone = x.right_zone[x.code_of(h)];
    if (!zone) ERROR_internal(kFile, __LINE__, "PSI: face left unwalked");
    return BZONE_live_zone(zone);
}

bool is_dummy_segment(const RING_node_s* seg) {
    const uint32_t f = seg_piece(seg)->flags;
    return (f & POLY_SEG_FLAG_DUMMY) && !(f & (POLY_SEG_FLAG_INSERT_END | POLY_SEG_FLAG_INSERT_KEEP |
                                                 POLY_SEG_FLAG_OFFSET_CORNER_PIECE));
}

// Whether the half-edge's sub-segment is only a part of its segment (a
// crossing cuts the segment at one of its ends).
bool subsegment_is_partial(const Half& h) {
    PSI_INTXN_NODE_s* end;
    int index;
    half_subsegment(h, &end, &index);
    PSI_INTXN_NODE_s* start = end->pn_along[index];
    const int si = start ? seg_index(start, end->segs[index]) : -1;
    return end->pn_along[2 + index] != nullptr || (start && si >= 0 && start->pn_along[si] != nullptr);
}

// Removes the last k nodes of the ring.
void drop_last_records(RING_header_s* ring, int k) {
    for (int i = 0; i < k && ring->last; ++i) RING_delete_node(ring, ring->last);
}

// The point a half-edge leaves from, as one key for all node records that
// stand there: the lowest record address in the cycle of arms around it.
const PSI_INTXN_NODE_s* point_key(const PSI_s* psi, const Half& h) {
    const long bound = arm_bound(psi);
    const PSI_INTXN_NODE_s* key = h.n;
    Half k = ccw_next(h);
    for (long guard = 0; k != h; ++guard) {
        if (guard > bound) ERROR_internal(kFile, __LINE__, "PSI: cycle around a point does not close");
        if (k.n < key) key = k.n;
        k = ccw_next(k);
    }
    return key;
}

// Appends to the poly the piece of the sub-segment the half-edge travels,
// with the output's copy of its segment's data.  The piece is made from the
// node the half-edge reaches and the arm there that points back along it.
void append_piece(const PSI_set_output_s* output, RING_header_s* poly, const Half& h) {
    const Half back = half_arrival(h);
    POLY_INTXN_node_s entry{back.n, back.a};
    LINE_ARC_SEG_s* piece = POLY_INTXN_node_create_seg(&entry, poly->pool);
    RING_node_s* fresh = RING_insert_after(poly, poly->last, piece);
    if (output->copy) {
        bool handled = true;
        output->copy(poly, half_segment(h), fresh, &handled, nullptr);
    }
}

// Closes the ring of a result loop's poly and numbers it.
void close_loop_poly(RING_header_s* poly, int loop_number) {
    poly->last->next = poly->first;
    poly->first->previous = poly->last;
    POLY_SEG_ask_header(poly)->loop_number = loop_number;
}

// Stores one closed loop of boundary half-edges in the output.
// The loop's half-edges are given by their arm codes.
void store_loop(Extraction& x, const uint32_t* loop_codes, size_t count) {
    const int mode = x.output->mode;
    CMEM_pool_s* pool = PSI_set_output_ask_pool(x.output);
    RING_header_s* poly = pool && mode == PSI_SET_OUTPUT_POLYS ? POLY_SEG_create(pool) : nullptr;
    POLY_INTXN_s* loop = pool && mode == PSI_SET_OUTPUT_LOOPS ? POLY_INTXN_create(pool) : nullptr;
    size_t dummies = 0;
    int records = 0;
    for (size_t i = 0; i < count; ++i) {
        const Half h = x.half_of(loop_codes[i]);
        RING_node_s* seg = half_segment(h);
        if (poly) append_piece(x.output, poly, h);
        if (loop) {
            const Half back = half_arrival(h);
            POLY_INTXN_append(loop, back.n, back.a);
        }
        if (is_dummy_segment(seg)) {
            ++dummies;
            if (x.dummy_ring && subsegment_is_partial(h)) {
                PSI_INTXN_NODE_s* end;
                int index;
                half_subsegment(h, &end, &index);
                PSI__set_record_dummy(x.dummy_ring, end, index);
                ++records;
            }
        }
    }
    // A loop made only of dummies is dropped with its records (not in a
    // second pass).
    if (dummies == count && !x.second_pass) {
        if (x.dummy_ring) drop_last_records(x.dummy_ring, records);
        if (poly) POLY_SEG_destroy(poly);
        if (loop) POLY_INTXN_destroy(loop);
        return;
    }
    if (records > 0 && x.needs_another_pass) *x.needs_another_pass = true;
    if (poly) close_loop_poly(poly, x.loop_number);
    if (loop) {
        loop->closed = 1;
        loop->loop_number = x.loop_number;
    }
    if (!x.map) {
        if (poly) POLY_SEG_append_to_set(static_cast<RING_header_s*>(x.output->target), poly);
        if (loop) {
            RING_header_s* target = static_cast<RING_header_s*>(x.output->target);
            RING_insert_after(target, target->last, loop);
        }
        return;
    }
    // Zone output: the loop becomes the built-in curve of the boundary
    // between the zone on its right (no material) and the one on its left;
    // each of its sub-segments refers to that boundary.
    const Half first = x.half_of(loop_codes[0]);
    BZONE_s* outside = zone_right_of(x, first);
    BZONE_s* inside = zone_right_of(x, half_twin(first));
    BZONE_boundary_s* boundary = BZONE_map_create_boundary(x.map, outside, inside, x.loop_number);
    if (!boundary) ERROR_internal(kFile, __LINE__, "PSI: result boundary between zones of one value");
    if (poly) BZONE_map_create_boundary_curve(x.map->pool, boundary, nullptr, poly, BZONE_CURVE_POLY_SEG);
    if (loop) BZONE_map_create_boundary_curve(x.map->pool, boundary, nullptr, loop, BZONE_CURVE_POLY_INTXN);
    for (size_t i = 0; i < count; ++i) {
        PSI_INTXN_NODE_s* end;
        int index;
        half_subsegment(x.half_of(loop_codes[i]), &end, &index);
        PSI_ray_set_subsegment_zone(x.psi, end, index, boundary, true);
    }
}

// Splits a closed walk at every point it passes twice and stores the simple
// loops.  Half-edges are pushed on a stack; when the walk comes back to a
// point that a stacked half-edge leaves from, the half-edges from there on
// form a closed loop of their own and leave the stack.  What remains at the
// end closes at the walk's start.
//
// The table names, per point, the stack position last pushed from it (plus
// one; 0: never).  An entry is current only while that position is still on
// the stack and holds a half-edge leaving the same point, so entries of
// half-edges that left the stack need no removal.
void store_simple_loops(Extraction& x, const std::vector<uint32_t>& walk) {
    std::vector<uint32_t>& stack = x.walked;  // arm codes
    std::vector<uint32_t>& keys = x.loop_keys;    // the point each stacked half-edge leaves from (its key's record number)
    stack.clear();
    keys.clear();
    stack.reserve(walk.size());
    keys.reserve(walk.size());
    // The table is shared by all walks of one extraction: an entry left by an
    // earlier walk fails the check below as one of a popped position does.
    for (uint32_t h : walk) {
        const uint32_t key = static_cast<uint32_t>(x.numbers.of(point_key(x.psi, x.half_of(h))));
        uint32_t& slot = x.point_slot[key];
        if (slot > 0 && slot <= stack.size() && keys[slot - 1] == key) {
            const size_t from = slot - 1;
            store_loop(x, stack.data() + from, stack.size() - from);
            stack.resize(from);
            keys.resize(from);
        }
        slot = static_cast<uint32_t>(stack.size() + 1);
        stack.push_back(h);
        keys.push_back(key);
    }
    if (!stack.empty()) store_loop(x, stack.data(), stack.size());
}

// Walks the closed loops through the boundary half-edges, in the order they
// were found.  Each boundary half-edge has the material on its left and the
// face of no material on its right.  At every node the walk goes on along
// the first boundary arm clockwise from the arriving arm: it sweeps only
// through material.  Around a point the boundary arms alternate between
// arriving and leaving ones, so this choice pairs them one to one and every
// walk closes: no result loop is ever open.  A walk that passes a point twice
// (a pinch: a hole touching its outer boundary) is split there, so that every
// stored loop is simple; two squares touching at a corner give two loops.
void emit_loops(Extraction& x, const std::vector<uint32_t>& boundary) {
    PSI_s* psi = x.psi;
    std::vector<uint8_t>& mark = x.boundary_mark;  // the boundary half-edges, kUsed once walked
    for (uint32_t c : boundary) mark[c] = kBoundary;
    const long bound = static_cast<long>(boundary.size()) + 1;
    std::vector<uint32_t>& walk = x.flood_stack;  // arm codes
    for (uint32_t first_code : boundary) {
        if (mark[first_code] & kUsed) continue;
        const Half first = x.half_of(first_code);
        walk.clear();
        Half h = first;
        uint32_t hc = first_code;
        for (long guard = 0;; ++guard) {
            if (guard > bound) ERROR_internal(kFile, __LINE__, "PSI: result loop does not close");
            mark[hc] |= kUsed;
            walk.push_back(hc);
            // Next boundary arm clockwise from the arriving arm.
            const Half back = half_arrival(h);
            Half k = back;
            bool found = false;
            uint32_t kc = 0;
            for (long turn = 0; turn <= arm_bound(psi); ++turn) {
                k = cw_prev(psi, k);
                if (k == back) break;
                kc = x.code_of(k);
                if (mark[kc]) {
                    found = true;
                    break;
                }
            }
            if (!found) ERROR_internal(kFile, __LINE__, "PSI: result boundary ends at a point");
            if (k == first) break;
            if (mark[kc] & kUsed) ERROR_internal(kFile, __LINE__, "PSI: result boundary meets itself");
            h = k;
            hc = kc;
        }
        store_simple_loops(x, walk);
    }
    for (uint32_t c : boundary) mark[c] = 0;
}

// Whether a face walked by just the two half-edges a and b (between the same
// two points) has zero width.
bool zero_width_face(const Half& a, const Half& b) {
    return half_segment(a) != half_segment(b) &&
           PSI_walks_back_along(half_segment(a), half_forward(a), half_segment(b), half_forward(b));
}

// Floods the connected part of the network that holds the start half-edge,
// whose right face has the given level.  Every face is walked once with the
// face on the right of its half-edges; crossing a sub-segment changes the
// level by the segment's weight (up when crossing from the right of its
// working direction to its left).  Each face keeps the level it was first
// reached with, so the levels of the sectors around every point are fixed
// and the boundary arms alternate there.
void extract_from(Extraction& x, Half start, int start_level) {
    PSI_s* psi = x.psi;
    // The stack holds arm codes of half-edges whose face is to be walked.
    // Each (but the start) is the twin of a walked half-edge, so the level it
    // brings is worked out from that one's when it comes off the stack.
    std::vector<uint32_t>& stack = x.flood_stack;
    stack.clear();
    LevelTable& right_level = x.right_level;
    // The half-edges walked, in order (arm codes): all of them for the
    // checks and the zones, else only those with no material on their right,
    // among which the boundary is.
    const bool checking = MACH__checking_level >= 1;
    const bool keep_all = checking || x.map;
    std::vector<uint32_t>& walked = x.walked;
    walked.clear();
    std::vector<int>& right_face = x.right_face;  // checking only
    if (x.map && x.right_zone.empty()) ERROR_internal(kFile, __LINE__, "PSI: zone output without its face table");
    // Zero-width faces: two sub-segments of different segments between the
    // same two points with one form, travelled both ways (a shared edge of two
    // regions, a chain running back along itself).  Each half-edge of such a
    // face names the other one.
    std::unordered_map<Half, Half, HalfHash> slit_partner;
    // The first two half-edges of the face being walked and their count
    // (two-edge faces are the only candidates for zero width).
    Half face[2] = {};
    size_t face_size = 0;
    int faces = 0;
    stack.push_back(x.code_of(start));
    const long bound = arm_bound(psi);
    while (!stack.empty()) {
        const uint32_t item = stack.back();
        stack.pop_back();
        const Half item_h = x.half_of(item);
        if (half_flags(item_h) & half_seen_mark(item_h)) continue;
        CERR_raise_on_abort();
        // The face across the sub-segment of the walked twin that pushed
        // this half-edge: the level changes by the segment's weight, up when
        // that twin runs in the sub-segment's working direction.
        int level = start_level;
        if (faces > 0) {
            const Half across = half_twin(item_h);
            const int from = right_level.get(x.code_of(across));
            if (from == kUnwalked) ERROR_internal(kFile, __LINE__, "PSI: face left unwalked");
            const int w = PSI__set_segment_weight(half_segment(across));
            level = half_along_working(across) ? from + w : from - w;
        }
        // Zone output: every face starts as a zone of its own; faces of one
        // value that meet across a sub-segment are merged below.
        BZONE_s* zone = x.map ? BZONE_map_create_zone(x.map, level >= 1 ? 1 : 0, x.loop_number) : nullptr;
        ++faces;
        face_size = 0;
        Half h = item_h;
        for (long guard = 0;; ++guard) {
            if (guard > bound) ERROR_internal(kFile, __LINE__, "PSI: face walk does not close");
            if (face_size < 2) face[face_size] = h;
            ++face_size;
            const Half twin = half_twin(h);
            uint16_t& flags = shared_flags(h, twin);
            flags |= half_seen_mark(h);
            const uint32_t hc = x.code_of(h);
            if (keep_all || level <= 0) walked.push_back(hc);
            right_level.set(hc, level);
            if (checking) right_face[hc] = faces;
            if (zone) x.right_zone[hc] = zone;
            if (!(flags & half_seen_mark(twin))) stack.push_back(x.code_of(twin));
            // Next half-edge of the face: counter-clockwise after the arriving
            // arm.  A blanked open-end sub-segment passed over beside a face
            // of no material gets the open-end mark.
            h = ccw_next_active(psi, twin, [&](const Half& skipped) {
                if (level <= 0 && (seg_piece(half_segment(skipped))->flags & merrow1::psi::SEG_FLAG_OPEN_END))
                    half_flags(skipped) |= PSI_SET_MARK_OPEN_END;
            });
            if (h == item_h) break;
        }
        if (face_size == 2 && zero_width_face(face[0], face[1])) {
            slit_partner[face[0]] = face[1];
            slit_partner[face[1]] = face[0];
        } else if (level < x.lowest) {
            x.lowest = level;
        }
    }
    if (x.levels_only) {
        for (std::vector<uint32_t>* v : {&x.flood_stack, &x.walked}) PSI__scratch_release(*v);
        return;
    }
    // The level of the face across the sub-segment of h: a zero-width face
    // there is looked through to the face beyond it (and beyond a row of
    // them), so that a shared edge with the same material on both sides is
    // no boundary, and a chain running back along itself bounds nothing.
    // A row that comes back to where it started is a closed loop of
    // coincident sub-segments standing alone (both of its faces are zero-width
    // faces, as when a piece and its reverse are all there is between two
    // points): nothing lies beyond it, and the look-through answers the
    // level of the zero-width face across h itself.
    auto has_partner = [&](const Half& h) { return !slit_partner.empty() && slit_partner.count(h) != 0; };
    auto walked_level = [&](const Half& h) {
        const int level = right_level.get(x.code_of(h));
        if (level == kUnwalked) ERROR_internal(kFile, __LINE__, "PSI: face left unwalked");
        return level;
    };
    auto level_across = [&](const Half& h) {
        const Half first = half_twin(h);
        Half t = first;
        for (long guard = 0; !slit_partner.empty(); ++guard) {
            if (guard > bound) ERROR_internal(kFile, __LINE__, "PSI: zero-width faces do not end");
            auto partner = slit_partner.find(t);
            if (partner == slit_partner.end()) break;
            t = half_twin(partner->second);
            if (t == first) break;
        }
        return walked_level(t);
    };
    // Boundary half-edges, oriented with the material on their left.  The
    // half-edges of zero-width faces are never boundaries.
    std::vector<uint32_t>& boundary = x.boundary;
    boundary.clear();
    for (uint32_t c : walked) {
        const Half h = x.half_of(c);
        const int level = right_level.get(c);
        const Half twin = half_twin(h);
        const int twin_level = walked_level(twin);
        if (level <= 0 && !has_partner(h) && level_across(h) >= 1) boundary.push_back(c);
        // With checking on: the two faces of every sub-segment that separates
        // two faces differ by its weight (an open path lies inside one face).
        if (checking && right_face[c] != right_face[x.code_of(twin)]) {
            const int w = PSI__set_segment_weight(half_segment(h));
            if (twin_level != (half_along_working(h) ? level + w : level - w))
                ERROR_internal(kFile, __LINE__, "PSI: levels disagree across a sub-segment");
        }
    }
    // Zone output: faces of one value across a sub-segment are one zone, and
    // the sub-segment refers to it.  A zero-width face takes material when a
    // face beyond it has material, so it joins the zones beyond it of that
    // value: regions sharing an edge are one zone, and where the material
    // differs across it the boundary runs between material and air.
    if (x.map) {
        auto material_of = [&](const Half& h) {
            if (!has_partner(h)) return right_level.get(x.code_of(h)) >= 1;
            return level_across(h) >= 1 || level_across(slit_partner[h]) >= 1;
        };
        for (const auto& slit : slit_partner) zone_right_of(x, slit.first)->value = material_of(slit.first) ? 1 : 0;
        for (uint32_t c : walked) {
            const Half h = x.half_of(c);
            const Half twin = half_twin(h);
            const bool material = material_of(h);
            if (material != material_of(twin)) continue;
            BZONE_s* a = zone_right_of(x, h);
            BZONE_s* b = zone_right_of(x, twin);
            if (a != b) a = BZONE_merge_zones(a, b);
            PSI_INTXN_NODE_s* end;
            int index;
            half_subsegment(h, &end, &index);
            PSI_ray_set_subsegment_zone(psi, end, index, a, false);
        }
    }
    // The flood's own tables are done with: give their memory back before
    // the loops are stored, which is when a large boolean holds the most.
    PSI__scratch_release(stack);
    PSI__scratch_release(walked);
    std::unordered_map<Half, Half, HalfHash>().swap(slit_partner);
    emit_loops(x, boundary);
    for (std::vector<uint32_t>* v : {&x.flood_stack, &x.walked, &x.boundary, &x.loop_keys}) PSI__scratch_release(*v);
}

// Clears the extraction marks of every node record.
void clear_extraction_marks(PSI_s* psi) {
    PSI__set_clear_node_marks(psi, static_cast<uint16_t>(~PSI_SET_MARKS));
}

// Whether an active sub-segment was left with the face on the right of its
// own direction unwalked: the one thing the search for unreached parts below
// acts on.  A record's arm j < 2 leads back along segment j, so the
// sub-segment arriving there along it exists when that arm has a neighbour,
// and its flag word is the record's.  One pass over the records in their
// array, instead of walks along every segment's records.
bool any_unreached_subsegment(const PSI_s* psi) {
    for (int i = 0; i < psi->nodes->num_active; ++i) {
        const PSI_INTXN_NODE_s* n = static_cast<const PSI_INTXN_NODE_s*>(DYNAMIC_ARRAY_element_at(psi->nodes, i));
        for (int j = 0; j < 2; ++j)
            if (n->pn_along[j] && !(n->flags[j] & (PSI_NODE_FLAG_ARRIVE_BLANK | PSI_SET_MARK_SEEN_RIGHT))) return true;
    }
    return false;
}

// Parts that no flood reached: a part whose sub-segments are all pieces
// between crossings of segments blanked elsewhere (a hole closed by the
// middles of several blanked segments) holds no record where the flood of
// step 3 starts.  Its level is carried along one of its segments instead,
// from the segment's start or from a face already walked: past a record,
// the level on the right of the segment changes by the arms that meet it on
// that side (the face on the left of an arm is higher by its weight when
// the arm leaves in its working direction, lower when it leaves against
// it), and a blanked piece of the segment lies in the face on the right of
// the first active arm counter-clockwise from it.  At the segment's start a
// ray gives the level, beside a blanked first piece the level of the face
// it lies in.  Every unreached part met this way, by a piece of the segment
// or beside a blanked one, is flooded with that level, so the faces along
// the segment are walked wherever the level is known.  Only segments that
// hold an unreached piece are walked twice and cast a ray.
//
// Zone output: the faces met one after the other along the segment are
// the same face of the whole network between two records with active arms;
// at each such record the zone carried from the last one is joined to the
// zone on the right of the arriving piece there.  So a part reached this
// way is joined to the part the level came from, and a start ray's walk up
// from the segment's start (from the face the segment first meets when no
// active arm stands at its start) joins that face to the faces above it, as
// the ray of a flood start does.
void extract_islands(Extraction& x, DYNAMIC_ARRAY_s** wrapped, int count, int offset,
                     PSI_ray_delayed_zone_merge_node_s** delayed) {
    PSI_s* psi = x.psi;
    if (!any_unreached_subsegment(psi)) return;
    const long bound = arm_bound(psi);
    auto walked_level = [&](const Half& h, int* level) {
        const int l = x.right_level.get(x.code_of(h));
        if (l == kUnwalked) return false;
        *level = l;
        return true;
    };
    auto unreached = [](const Half& h) { return arm_active(h) && !(half_flags(h) & half_seen_mark(h)); };
    auto no_mark = [](const Half&) {};
    // The face on the right of an active arm, or holding a blanked one.
    auto face_arm = [&](const Half& h) { return arm_active(h) ? h : ccw_next_active(psi, h, no_mark); };
    auto zone_of = [&](const Half& h) -> BZONE_s* {
        BZONE_s* zone = x.right_zone[x.code_of(h)];
        return zone ? BZONE_live_zone(zone) : nullptr;
    };
    // Two zones of one face of the network.  A zero-width face's zone takes
    // the value of the material beside it, so zones of different values are
    // left apart.
    auto join = [](BZONE_s* a, BZONE_s* b) {
        if (!a || !b) return;
        a = BZONE_live_zone(a);
        b = BZONE_live_zone(b);
        if (a != b && a->value == b->value) BZONE_merge_zones(a, b);
    };
    // The segment's index at the next record along it, the walk bounded.
    auto next_along = [&](PSI_INTXN_NODE_s* node, RING_node_s* seg, long along) {
        if (along > bound) ERROR_internal(kFile, __LINE__, "PSI: node list of a segment does not end");
        const int at = seg_index(node, seg);
        if (at < 0) ERROR_internal(kFile, __LINE__, "PSI: segment lost along its node list");
        return at;
    };
    for (int s = 0; s < count; ++s) {
        for (int i = 0; i < wrapped[s]->num_active; ++i) {
            Wrapper* w = wrapper_at(wrapped[s], i);
            for (int k = 0; k < w->count; ++k) {
                RING_node_s* seg = w->segs[k];
                PSI_INTXN_NODE_s* first = w->first_nodes ? w->first_nodes[k] : nullptr;
                bool any = false;
                PSI_INTXN_NODE_s* node = first;
                for (long along = 0; node && !any; ++along) {
                    const int at = next_along(node, seg, along);
                    any = node->pn_along[2 + at] && unreached(Half{node, 2 + at});
                    node = node->pn_along[2 + at];
                }
                if (!any) continue;
                bool known = false;
                int level = 0;             // on the right of the piece arriving at the record
                BZONE_s* zone = nullptr;   // zone output: the zone of that face, when known
                // A start ray cast with zones: its level, and the zone it
                // walks up from (known after the floods at the start, or at
                // the first record with active arms).
                PSI_wn_functor_s wn{};
                bool rayed = false;
                int ray_level = 0;
                BZONE_s* ray_zone = nullptr;
                bool ray_zone_pending = false;
                node = first;
                for (long along = 0; node; ++along) {
                    const int at = next_along(node, seg, along);
                    if (!node->pn_along[2 + at]) break;
                    const Half f{node, 2 + at};
                    // Past the record: the arms between the arriving piece
                    // and the leaving one on the right side.
                    if (known && node->pn_along[at]) {
                        const Half b{node, at};
                        Half a = ccw_next(b);
                        for (long turn = 0; a != f; ++turn) {
                            if (turn > bound)
                                ERROR_internal(kFile, __LINE__, "PSI: cycle around a point does not close");
                            if (arm_active(a)) {
                                const int weight = PSI__set_segment_weight(half_segment(a));
                                level += half_along_working(a) ? weight : -weight;
                            }
                            a = ccw_next(a);
                        }
                    }
                    // A walked face fixes the level afresh.
                    const Half g = face_arm(f);
                    const bool arms = arm_active(g);
                    if (arms) known = walked_level(g, &level) || known;
                    // At the segment's start a ray does, as in step 3.
                    const bool vertex = ((node->flags[0] | node->flags[1]) & PSI_NODE_FLAG_VERTEX) != 0;
                    if (!known && along == 0 && at == 0 && vertex) {
                        PSI__ray_calc_winding_number(psi, node, wrapped, count, 1, x.map != nullptr, &wn);
                        ray_level = wn.winding + offset;
                        level = ray_level;
                        if (arm_active(f) && half_reversed(f)) level += PSI__set_segment_weight(seg);
                        known = true;
                        rayed = x.map != nullptr;
                        ray_zone_pending = rayed && !arms;
                    }
                    if (known && unreached(g)) {
                        CERR_raise_on_abort();
                        ++x.loop_number;
                        extract_from(x, g, level);
                    }
                    if (!x.map || !known || !arms) {
                        node = node->pn_along[2 + at];
                        continue;
                    }
                    // Zones: the face arriving here is the one carried from
                    // the last record with active arms.
                    if (node->pn_along[at]) {
                        BZONE_s* arriving = zone_of(ccw_next_active(psi, Half{node, at}, no_mark));
                        if (arriving && ray_zone_pending) {
                            ray_zone = arriving;
                            ray_zone_pending = false;
                        }
                        join(zone, arriving);
                    }
                    zone = zone_of(g);
                    // A start ray beside a blanked first piece walks up from
                    // the face that piece lies in.
                    if (rayed && along == 0 && !arm_active(f)) ray_zone = zone;
                    node = node->pn_along[2 + at];
                }
                // The start ray's walk up: from the start piece's own zone
                // when it is active, else from the face found above.
                if (rayed && (arm_active(Half{first, 2}) || ray_zone))
                    PSI_ray_merge_region_up_ray_from(psi, &wn, ray_level, ray_zone, x.map, delayed);
            }
        }
    }
}

// Unwraps every poly of the wrapped sets and frees the arrays.
void free_wrapped_sets(DYNAMIC_ARRAY_s** wrapped, int count) {
    if (!wrapped) return;
    for (int i = 0; i < count; ++i) {
        DYNAMIC_ARRAY_s* ws = wrapped[i];
        if (!ws) continue;
        for (int j = 0; j < ws->num_active; ++j) PSI__unwrap_poly(wrapper_at(ws, j));
        DYNAMIC_ARRAY__destroy(ws);
    }
    CMEM_private_delete_object(wrapped);
}

int delete_record_of_node(RING_header_s*, RING_node_s* node) {
    CMEM_private_delete_object(node->main_data);
    node->main_data = nullptr;
    return 1;
}

// Boundary functor of the zone output: the boundary's poly gets the grid
// map of the inputs.
void copy_scaling_to_boundary(void* data, BZONE_boundary_s* boundary) {
    if (boundary->curve.type == BZONE_CURVE_POLY_SEG && boundary->curve.representation)
        POLY_SEG_copy_scaling(static_cast<RING_header_s*>(data),
                              static_cast<RING_header_s*>(boundary->curve.representation));
}

}  // namespace

// ---------------------------------------------------------------------------
// Small services
// ---------------------------------------------------------------------------

CMEM_pool_s* PSI_set_output_ask_pool(const PSI_set_output_s* output) {
    if (!output || !output->target) return nullptr;
    if (output->kind == PSI_SET_OUTPUT_ZONES) return static_cast<BZONE_map_s*>(output->target)->pool;
    if (output->mode == PSI_SET_OUTPUT_POLYS || output->mode == PSI_SET_OUTPUT_LOOPS)
        return static_cast<RING_header_s*>(output->target)->pool;
    return nullptr;
}

int PSI__set_segment_weight(const RING_node_s* segment) {
    if (!segment || !(seg_piece(segment)->flags & merrow1::psi::SEG_FLAG_MULTIPLICITY)) return 1;
    const int* count =
        static_cast<const int*>(APP_DATA__ask_app_data(segment->app_data, merrow1::psi::KEY_MULTIPLICITY));
    return count ? *count : 1;
}

RING_header_s* PSI__set_create_dummy_ring(CMEM_pool_s* pool) {
    RING_header_s* ring = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
    if (ring) RING_set_node_main_data_delfunc(ring, delete_record_of_node);
    return ring;
}

void PSI__set_record_dummy(RING_header_s* ring, PSI_INTXN_NODE_s* node, int side) {
    if (!ring) return;
    PSI_set_dummy_record_s* record = CMEM_NEW(ring->pool, PSI_set_dummy_record_s);
    record->node = node;
    record->side = side;
    RING_insert_after(ring, ring->last, record);
}

void PSI__set_reset_output(PSI_set_output_s* output) {
    if (!output || !output->target) return;
    if (output->kind == PSI_SET_OUTPUT_ZONES) {
        BZONE_reset_map(static_cast<BZONE_map_s*>(output->target));
        return;
    }
    if (output->mode == PSI_SET_OUTPUT_POLYS || output->mode == PSI_SET_OUTPUT_LOOPS)
        RING_delete_all_nodes(static_cast<RING_header_s*>(output->target));
}

void PSI__set_clear_node_marks(void* object, uint16_t mask) {
    PSI_s* psi = as_psi(object);
    for (int i = 0; i < psi->nodes->num_active; ++i) {
        PSI_INTXN_NODE_s* n = static_cast<PSI_INTXN_NODE_s*>(DYNAMIC_ARRAY_element_at(psi->nodes, i));
        n->flags[0] &= mask;
        n->flags[1] &= mask;
    }
}

void PSI__set_clear_zone_info(void* object) {
    PSI_s* psi = as_psi(object);
    if (!psi->allow_extended_info) return;
    for (int i = 0; i < psi->nodes->num_active; ++i) {
        PSI_INTXN_NODE_s* n = static_cast<PSI_INTXN_NODE_s*>(DYNAMIC_ARRAY_element_at(psi->nodes, i));
        n->extended[0] = n->extended[1] = nullptr;
    }
}

// ---------------------------------------------------------------------------
// Preprocessing and intersections between sets
// ---------------------------------------------------------------------------

namespace {

// The preprocessing of PSI__set_preprocess_region_sets.  A set whose entry
// in `simple` is set (a null vector: none) is known to meet itself nowhere
// but at its vertices: its own intersection would lay no node, so it is left
// out and only the sort that ends it is done.
void preprocess_region_sets(PSI_s* psi, RING_header_s* set_of_sets, int* material, DYNAMIC_ARRAY_s*** wrapped,
                            int* m, bool hide_duplicates, const std::vector<char>* simple) {
    // 1. Nothing counted yet; no region sets, nothing to do.
    if (m) *m = 0;
    if (wrapped) *wrapped = nullptr;
    const auto sets = ring_nodes(set_of_sets);
    if (sets.empty()) return;
    const int n = static_cast<int>(sets.size());
    // 2. The array of wrapped sets; the node array starts empty.
    DYNAMIC_ARRAY_s** ws = CMEM_NEW_ARRAY(psi->pool, DYNAMIC_ARRAY_s*, n);
    PSI__reset(psi);
    PSI__fit_nodes_to_input(psi, PSI__count_pieces(set_of_sets, 2));
    // 3. Scratch counts of the duplicate hiding.
    DYNAMIC_ARRAY_s* hidden = hide_duplicates ? DYNAMIC_ARRAY__create(psi->pool, static_cast<int>(sizeof(int)), 5, 5)
                                              : nullptr;
    // 4. Wrap each set's polys and intersect the set with itself.
    for (int i = 0; i < n; ++i) {
        RING_header_s* set = RING_ask_node_subring(sets[i]);
        ws[i] = PSI__create_wrapper_array(psi, set ? set->count : 0);
        for (RING_node_s* pn : ring_nodes(set)) {
            RING_header_s* poly = RING_ask_node_subring(pn);
            if (!poly) continue;
            const bool closed = merrow1::is_closed(poly);
            if (!closed) {
                // An open poly must end in at least two segments, the last
                // one carrying the open-end mark.
                const bool ok = poly->count - 1 >= 2 && poly->last &&
                                (seg_piece(poly->last)->flags & merrow1::psi::SEG_FLAG_OPEN_END);
                if (!ok)
                    ERROR_internal(kFile, __LINE__,
                                   "Naughty: Open poly_seg passed to PSI__set_preprocess_region_sets\n");
            }
            const int before = ws[i]->num_active;
            Wrapper* w = static_cast<Wrapper*>(DYNAMIC_ARRAY_take_element(ws[i]));
            PSI__wrap_poly(psi, poly, w);
            if (w->count > 0) {
                CERR_raise_on_abort();
                PSI__ixn_init_poly_intxn_nodes(psi, w);
            } else {
                DA_set_num_active(ws[i], before);
            }
        }
        if (hide_duplicates) PSI__ixn_hide_duplicates(psi, ws[i], ws[i], hidden);
        if (simple && static_cast<size_t>(i) < simple->size() && (*simple)[static_cast<size_t>(i)]) {
            for (int j = 0; j < ws[i]->num_active; ++j) PSI__ixn_sort_intersects(psi, wrapper_at(ws[i], j));
        } else {
            PSI__ixn_intersect_2_sets(psi, ws[i], ws[i], true, true);
        }
    }
    // 5. Scratch counts go.
    if (hidden) DYNAMIC_ARRAY__destroy(hidden);
    // 6. Material at infinity: given values count as they are; undetermined
    // ones are worked out on the intersected set.
    int count = 0;
    for (int i = 0; i < n; ++i) {
        if (material && material[i] != Korvo::Cam::MaterialAtInfinityUndetermined) {
            count += material[i];
        } else if (ws[i]->num_active > 0) {
            const int v = PSI__set_is_wrap_mat_at_inf(psi, ws[i]);
            if (material) material[i] = v;
            count += v;
        }
    }
    if (m) *m = count;
    if (wrapped) *wrapped = ws;
}

}  // namespace

void PSI__set_preprocess_region_sets(void* object, RING_header_s* set_of_sets, int* material,
                                     DYNAMIC_ARRAY_s*** wrapped, int* m, bool hide_duplicates) {
    preprocess_region_sets(as_psi(object), set_of_sets, material, wrapped, m, hide_duplicates, nullptr);
}

void PSI__set_do_interset_intersections(void* object, DYNAMIC_ARRAY_s** wrapped, int count) {
    PSI_s* psi = as_psi(object);
    // Every set against every earlier one, the pairs of polys found by their
    // boxes.
    PSI__ixn_intersect_across_sets(psi, wrapped, count);
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < wrapped[i]->num_active; ++j) PSI__ixn_sort_intersects(psi, wrapper_at(wrapped[i], j));
}

void PSI__set_hide_interset_duplicates(void* object, DYNAMIC_ARRAY_s** wrapped, int count) {
    // Every set against every earlier one, the pairs of polys found by their
    // boxes.
    PSI__ixn_hide_duplicates_across_sets(as_psi(object), wrapped, count);
}

// ---------------------------------------------------------------------------
// Extraction of the final boundaries
// ---------------------------------------------------------------------------

namespace {

// The extraction of the final boundaries (below); with `lowest` given only
// the floods run, and *lowest gets the lowest level of the faces they walk.
void extract_network(PSI_s* psi, DYNAMIC_ARRAY_s** wrapped, int count, int offset, PSI_set_output_s* output,
                     RING_header_s* dummy_ring, bool second_pass, bool* needs_another_pass, int* lowest) {
    // 1. Material at infinity of the result; no second pass asked for yet.
    output->material_at_infinity = offset > 0 ? 1 : 0;
    if (needs_another_pass) *needs_another_pass = false;
    // 2. Zones live in the extended words.
    if (output->kind == PSI_SET_OUTPUT_ZONES && !psi->allow_extended_info)
        ERROR_internal(kFile, __LINE__, "Require zones but allow_extended_info flag not set");
    BZONE_map_s* map = output->kind == PSI_SET_OUTPUT_ZONES ? static_cast<BZONE_map_s*>(output->target) : nullptr;
    clear_extraction_marks(psi);
    // The tables by arm and by node record (see Extraction).
    Extraction x{psi, output, dummy_ring, second_pass, needs_another_pass, 0, map, NodeNumbers(psi->nodes),
                 {}, {}, {}, {}, {}, {}, {}, {}, {}, lowest != nullptr, INT_MAX};
    const size_t arms = 4 * x.numbers.count();
    ExtractionLists lists(psi, x, arms);
    x.right_level.assign(arms);
    if (map) x.right_zone.assign(arms, nullptr);
    if (MACH__checking_level >= 1) x.right_face.assign(arms, 0);
    x.boundary_mark.assign(arms, 0);
    x.point_slot.assign(x.numbers.count(), 0);
    PSI_ray_delayed_zone_merge_node_s* delayed = nullptr;
    // 3. Every connected part of the network is flooded once, from the first
    // sub-segment of a wrapper that no flood has reached, with the level a
    // ray gives there.
    Wrapper* first_wrapper = nullptr;
    for (int s = 0; s < count; ++s) {
        for (int i = 0; i < wrapped[s]->num_active; ++i) {
            Wrapper* w = wrapper_at(wrapped[s], i);
            if (!first_wrapper) first_wrapper = w;
            // Starts on vertical lines come last: a ray along its own start
            // line is the one case where a coinciding segment of another
            // set can stand on either side of the start.
            for (int pass = 0; pass < 2; ++pass) {
                for (int k = 0; k < w->count; ++k) {
                    PSI_INTXN_NODE_s* node = w->first_nodes ? w->first_nodes[k] : nullptr;
                    if (!node || node->segs[0] != w->segs[k] || !node->pn_along[2]) continue;
                    const Half start{node, 2};
                    if (half_blanked(start) || (half_flags(start) & half_seen_mark(start))) continue;
                    const LINE_ARC_SEG_s* piece = seg_piece(w->segs[k]);
                    const bool vertical = LINE_ARC_SEG_is_line(piece) && piece->x == node->pnt.x;
                    if (vertical != (pass == 1)) continue;
                    CERR_raise_on_abort();
                    // The ray gives the winding on the right of the working
                    // direction; the start half-edge runs along the segment.
                    PSI_wn_functor_s wn;
                    std::memset(&wn, 0, sizeof wn);
                    PSI__ray_calc_winding_number(psi, node, wrapped, count, 1, map != nullptr, &wn);
                    const int working_level = wn.winding + offset;
                    int level = working_level;
                    if (half_reversed(start)) level += PSI__set_segment_weight(w->segs[k]);
                    ++x.loop_number;
                    extract_from(x, start, level);
                    // The part's zones join the zones of the faces around it.
                    if (map) PSI__ray_merge_region_up_ray(psi, &wn, working_level, map, &delayed);
                }
            }
        }
    }
    if (map) PSI__ray_do_delayed_region_merges(&delayed);
    // Parts that hold no ray start (see extract_islands).  Rays cast from
    // below them stopped at their sub-segments, which had no zones yet:
    // those walks go on now.
    extract_islands(x, wrapped, count, offset, &delayed);
    if (map) PSI_ray_resume_delayed_region_merges(psi, &delayed, map);
    if (lowest) {
        *lowest = x.lowest == INT_MAX ? offset : x.lowest;
        clear_extraction_marks(psi);
        return;
    }
    // 4. Output polys stay on the inputs' grid.
    if (map && output->mode == PSI_SET_OUTPUT_POLYS && first_wrapper &&
        POLY_SEG_ask_header(first_wrapper->poly)->scaling) {
        BZONE_map_apply_zone_boundary_functors(map, first_wrapper->poly, nullptr, copy_scaling_to_boundary);
    }
    if (output->mode == PSI_SET_OUTPUT_POLYS && first_wrapper && output->kind == PSI_SET_OUTPUT_SET &&
        output->target) {
        for (RING_node_s* pn : ring_nodes(static_cast<RING_header_s*>(output->target))) {
            RING_header_s* poly = RING_ask_node_subring(pn);
            if (poly && POLY_SEG_ask_header(first_wrapper->poly)->scaling)
                POLY_SEG_copy_scaling(first_wrapper->poly, poly);
        }
    }
}

}  // namespace

void PSI__set_extract_final_boundaries(void* object, DYNAMIC_ARRAY_s** wrapped, int count, int offset,
                                       PSI_set_output_s* output, RING_header_s* dummy_ring, bool second_pass,
                                       bool* needs_another_pass) {
    extract_network(as_psi(object), wrapped, count, offset, output, dummy_ring, second_pass, needs_another_pass,
                    nullptr);
}

int PSI__set_lowest_level(void* object, DYNAMIC_ARRAY_s** wrapped, int count) {
    PSI_s* psi = as_psi(object);
    PSI_set_output_s output{nullptr, 0, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, nullptr};
    int lowest = 0;
    extract_network(psi, wrapped, count, 0, &output, nullptr, false, nullptr, &lowest);
    return lowest;
}

// ---------------------------------------------------------------------------
// Shared edges of sets cleaned one by one
// ---------------------------------------------------------------------------

namespace {

// Each set's own clean rounds the crossings it finds to grid points, so a
// vertex it makes on a slanted stretch that another set shares lies up to half
// a cell off that stretch: the two edges that were one no longer meet, and
// the result keeps the thin face between them as a zero-width spike.  As in
// snap rounding, a vertex is a hot pixel (the closed unit square about it) for
// every other set, and another set's line that passes through the pixel but
// not through the point is cut there; a stretch both sets keep is then the
// same line between the same grid points again.  A line exactly through the
// point is left as it is: the intersections find that node themselves.  Lines
// on the axes never pass through the pixel of a grid point they miss, so only
// slanted lines are ever cut.

// Grid points whose coordinates and those of the corners of their pixels are
// exact in doubles.
// Below 2^52 a double converts to int64_t without overflow and back to the
// same value exactly when it is an integer; NaN and infinities fail the bound.
bool grid_point(const PNT2_s& p) {
    const double limit = 4503599627370496.0;  // 2^52
    return std::fabs(p.x) < limit && std::fabs(p.y) < limit &&
           static_cast<double>(static_cast<int64_t>(p.x)) == p.x &&
           static_cast<double>(static_cast<int64_t>(p.y)) == p.y;
}

// Whether the line a-b meets the closed unit square about v: their boxes meet
// and the line does not leave all four corners strictly on one side.
bool line_meets_pixel(const PNT2_s& a, const PNT2_s& b, const PNT2_s& v) {
    if (std::max(a.x, b.x) < v.x - 0.5 || std::min(a.x, b.x) > v.x + 0.5) return false;
    if (std::max(a.y, b.y) < v.y - 0.5 || std::min(a.y, b.y) > v.y + 0.5) return false;
    const double pa[2] = {a.x, a.y}, pb[2] = {b.x, b.y};
    bool left = false, right = false;
    for (int k = 0; k < 4; ++k) {
        const double c[2] = {v.x + ((k & 1) ? 0.5 : -0.5), v.y + ((k & 2) ? 0.5 : -0.5)};
        const int side = ORIENT2D_sign(pa, pb, c);
        if (side >= 0) left = true;
        if (side <= 0) right = true;
    }
    return left && right;
}

// Exact order of two points near the line a-b along its direction: their
// difference against the direction, as the orientation of p, q and p turned a
// quarter from the direction (all grid points, so every value is exact).
bool before_along(const PNT2_s& a, const PNT2_s& b, const PNT2_s& p, const PNT2_s& q) {
    const double pp[2] = {p.x, p.y}, pq[2] = {q.x, q.y};
    const double turned[2] = {p.x - (b.y - a.y), p.y + (b.x - a.x)};
    return ORIENT2D_sign(pp, pq, turned) > 0;
}

bool same_point(const PNT2_s& a, const PNT2_s& b) { return a.x == b.x && a.y == b.y; }

struct SetVertex {
    PNT2_s p;
    int set;
};

// Sorts grid vertices by x with a least-significant-digit radix sort on their
// integer x coordinates, byte by byte, skipping the bytes all keys share.
// Vertices of equal x may come in any order: two distinct points of equal x
// are never level along a slanted line, so the cuts found below do not depend
// on it.
//
// A few vertices are sorted by insertion instead, which is stable too: the
// order is the radix sort's, without its passes over 256 digit counts.
void sort_by_x(std::vector<SetVertex>& vertices) {
    const size_t n = vertices.size();
    if (n <= 64) {
        for (size_t i = 1; i < n; ++i) {
            const SetVertex v = vertices[i];
            size_t j = i;
            for (; j > 0 && vertices[j - 1].p.x > v.p.x; --j) vertices[j] = vertices[j - 1];
            vertices[j] = v;
        }
        return;
    }
    std::vector<uint64_t> keys(n), other_keys(n);
    std::vector<SetVertex> other(n);
    uint64_t all_or = 0, all_and = ~uint64_t{0};
    for (size_t i = 0; i < n; ++i) {
        // Grid points are integers below 2^52 in magnitude: the offset makes
        // every key non-negative and keeps their order.
        keys[i] = static_cast<uint64_t>(static_cast<int64_t>(vertices[i].p.x) + (int64_t{1} << 52));
        all_or |= keys[i];
        all_and &= keys[i];
    }
    for (int shift = 0; shift < 64; shift += 8) {
        if ((((all_or ^ all_and) >> shift) & 0xff) == 0) continue;
        size_t start[257] = {};
        for (size_t i = 0; i < n; ++i) ++start[((keys[i] >> shift) & 0xff) + 1];
        for (int d = 0; d < 256; ++d) start[d + 1] += start[d];
        for (size_t i = 0; i < n; ++i) {
            const size_t to = start[(keys[i] >> shift) & 0xff]++;
            other[to] = vertices[i];
            other_keys[to] = keys[i];
        }
        vertices.swap(other);
        keys.swap(other_keys);
    }
}

// The place of the first vertex at or after x in vertices sorted by x, as
// std::lower_bound finds it, sought by doubling steps from the place `hint`
// (the answer for the line before, which lies next to this one in its poly).
size_t first_at_or_after(const std::vector<SetVertex>& vertices, size_t hint, double x) {
    const size_t n = vertices.size();
    auto before = [x](const SetVertex& u) { return u.p.x < x; };
    size_t lo, hi;  // the answer lies in [lo, hi], and is hi when no vertex of [lo, hi) is at or after x
    if (hint < n && before(vertices[hint])) {
        size_t step = 1;
        lo = hint;
        while (lo + step < n && before(vertices[lo + step])) {
            lo += step;
            step *= 2;
        }
        hi = std::min(n, lo + step);
        ++lo;
    } else {
        hi = std::min(hint, n);
        size_t step = 1;
        while (hi >= step && !before(vertices[hi - step])) {
            hi -= step;
            step *= 2;
        }
        lo = hi >= step ? hi - step + 1 : 0;
    }
    return static_cast<size_t>(
        std::partition_point(vertices.begin() + static_cast<long>(lo), vertices.begin() + static_cast<long>(hi),
                             before) -
        vertices.begin());
}

// Cuts every line of a closed poly in the sets at the vertices of other sets
// whose pixels it passes through without meeting the vertex itself.
void cut_lines_at_other_sets_vertices(PSI_s* psi, RING_header_s* set_of_sets) {
    const uint32_t kept_whole = merrow1::psi::SEG_FLAG_START_TELOMERE | merrow1::psi::SEG_FLAG_END_TELOMERE |
                                merrow1::psi::SEG_FLAG_HIDDEN | merrow1::psi::SEG_FLAG_OPEN_END |
                                merrow1::psi::SEG_FLAG_MULTIPLICITY;
    // 1. The closed polys of each set and their vertices, by x: set s holds
    //    polys[set_start[s]] up to polys[set_start[s + 1]].  The lists are
    //    sized by a first count so that each is allocated once.
    auto closed_poly = [](RING_node_s* pn) {
        RING_header_s* poly = RING_ask_node_subring(pn);
        return merrow1::is_closed(poly) ? poly : nullptr;
    };
    const auto sets = ring_nodes(set_of_sets);
    size_t poly_count = 0, vertex_room = 0;
    for (RING_node_s* sn : sets)
        if (RING_header_s* set = RING_ask_node_subring(sn))
            for (RING_node_s* pn : ring_nodes(set))
                if (RING_header_s* poly = closed_poly(pn)) {
                    ++poly_count;
                    vertex_room += static_cast<size_t>(std::max(poly->count, 0));
                }
    std::vector<RING_header_s*> polys;
    std::vector<size_t> set_start;
    std::vector<SetVertex> vertices;
    polys.reserve(poly_count);
    set_start.reserve(sets.size() + 1);
    vertices.reserve(vertex_room);
    for (RING_node_s* sn : sets) {
        set_start.push_back(polys.size());
        RING_header_s* set = RING_ask_node_subring(sn);
        if (!set) continue;
        for (RING_node_s* pn : ring_nodes(set)) {
            RING_header_s* poly = closed_poly(pn);
            if (!poly) continue;
            polys.push_back(poly);
            for (RING_node_s* n : ring_nodes(poly))
                if (grid_point(seg_end(n)))
                    vertices.push_back(SetVertex{seg_end(n), static_cast<int>(set_start.size()) - 1});
        }
    }
    set_start.push_back(polys.size());
    const size_t set_count = set_start.size() - 1;
    if (set_count < 2 || vertices.empty()) return;
    sort_by_x(vertices);
    // 2. Each line of each set against the vertices of the others near its box.
    std::vector<PNT2_s> cuts;
    size_t first = 0;
    for (size_t s = 0; s < set_count; ++s) {
        for (size_t k = set_start[s]; k < set_start[s + 1]; ++k) {
            RING_header_s* poly = polys[k];
            for (RING_node_s* seg : ring_nodes(poly)) {
                const LINE_ARC_SEG_s* piece = seg_piece(seg);
                if (!LINE_ARC_SEG_is_line(piece) || (piece->flags & kept_whole)) continue;
                const PNT2_s a = seg_start(seg), b = seg_end(seg);
                if (!grid_point(a) || !grid_point(b) || a.x == b.x || a.y == b.y) continue;
                cuts.clear();
                const double pa[2] = {a.x, a.y}, pb[2] = {b.x, b.y};
                // The pixel box test of line_meets_pixel, in y here before the
                // orientation (in x the range of the scan does it).
                const double y_low = std::min(a.y, b.y) - 0.5, y_high = std::max(a.y, b.y) + 0.5;
                first = first_at_or_after(vertices, first, std::min(a.x, b.x) - 0.5);
                auto it = vertices.begin() + static_cast<long>(first);
                for (; it != vertices.end() && it->p.x <= std::max(a.x, b.x) + 0.5; ++it) {
                    const PNT2_s& v = it->p;
                    if (v.y < y_low || v.y > y_high) continue;
                    if (it->set == static_cast<int>(s) || same_point(v, a) || same_point(v, b)) continue;
                    const double pv[2] = {v.x, v.y};
                    if (ORIENT2D_sign(pa, pb, pv) == 0 || !line_meets_pixel(a, b, v)) continue;
                    if (std::find_if(cuts.begin(), cuts.end(), [&](const PNT2_s& c) { return same_point(c, v); }) ==
                        cuts.end())
                        cuts.push_back(v);
                }
                if (cuts.empty()) continue;
                // 3. The cuts in order from a; of two points level along the
                //    line (pixels that only touch it at a shared corner) the
                //    first found stays.  The pieces up to each cut go in
                //    before the line, which keeps its record to b.
                auto before = [&](const PNT2_s& p, const PNT2_s& q) { return before_along(a, b, p, q); };
                std::stable_sort(cuts.begin(), cuts.end(), before);
                cuts.erase(std::unique(cuts.begin(), cuts.end(),
                                       [&](const PNT2_s& p, const PNT2_s& q) { return !before(p, q); }),
                           cuts.end());
                RING_node_s* after = seg->previous;
                for (const PNT2_s& c : cuts) {
                    LINE_ARC_SEG_s* cut = LINE_ARC_SEG_create_line(poly->pool, &c);
                    cut->flags = piece->flags;
                    RING_node_s* added = RING_insert_after(poly, after, cut);
                    if (psi->create_data) psi->create_data(poly, seg, added, nullptr, nullptr);
                    after = added;
                }
            }
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Booleans and cleaning
// ---------------------------------------------------------------------------

namespace {

// The loops and segments of a cleaned set known to meet itself nowhere but
// at its vertices; {0, 0} for any other set.
struct SimpleCount {
    int loops, segments;
};

// The number of segments of the polys of `set`.
int segment_count(const RING_header_s* set) {
    int segments = 0;
    for (RING_node_s* pn : ring_nodes(set))
        if (const RING_header_s* poly = RING_ask_node_subring(pn)) segments += poly->count;
    return segments;
}

void clean_each_region_set(PSI_s* psi, RING_header_s* set_of_sets, int* material, RING_header_s* output_set_of_sets,
                           bool cover_dummies, PSI_dummy_eval_cb_t eval, bool cover_side, bool hide_duplicates,
                           bool release, std::vector<SimpleCount>* simple_counts);

// The region-set boolean; with `release` each input set is deleted once it
// is cleaned, and the cleaned copies are made in the input's pool, where the
// later ones reuse the records of the sets deleted before them (see
// PSI__set_boolean_releasing_sets).
void set_boolean(PSI_s* psi, RING_header_s** set_of_sets, bool release, int* material, bool union_flag,
                 bool clean_first, bool cover_dummies, PSI_dummy_eval_cb_t eval, bool hide_duplicates,
                 PSI_set_output_s* output) {
    const int n = static_cast<int>(ring_nodes(*set_of_sets).size());
    // 1. Optionally clean each set by itself first.
    RING_header_s* sets = *set_of_sets;
    RING_header_s* cleaned = nullptr;
    std::vector<SimpleCount> simple_counts;
    std::vector<char> simple;
    // The cleaned copies go on an error: made in the sets' pool, they would
    // otherwise stay there with nothing referring to them.
    try {
        if (clean_first) {
            cleaned = POLY_SEG_create_set_of_sets(release ? (*set_of_sets)->pool : psi->pool);
            clean_each_region_set(psi, *set_of_sets, material, cleaned, cover_dummies, eval, false, hide_duplicates,
                                  release, &simple_counts);
            sets = cleaned;
            if (release) {
                RING_delete(*set_of_sets);
                *set_of_sets = nullptr;
            }
            cut_lines_at_other_sets_vertices(psi, cleaned);
            // A cleaned copy whose loops are each a whole poly of its set as
            // it was (the same pieces from another start, each poly once),
            // uncut, is known to meet itself nowhere but at its vertices: the
            // clean's intersection of all the set's pieces left every node as
            // the wrapping laid it.  Intersecting the copy again would do the
            // same: the descent reaches every pair of segments whose boxes
            // meet in whatever order they are wrapped, and the exact answer
            // for a pair depends only on its two pieces and on whether one
            // follows the other, all as they were, and the copy's pairs are
            // some of those pairs.  So that intersection is left out (only
            // its sort is done).  The cuts at other sets' vertices only add
            // segments, so equal counts mean nothing was cut.
            size_t k = 0;
            for (RING_node_s* sn : ring_nodes(cleaned)) {
                const RING_header_s* set = RING_ask_node_subring(sn);
                const SimpleCount expected = k < simple_counts.size() ? simple_counts[k] : SimpleCount{0, 0};
                ++k;
                simple.push_back(expected.segments > 0 && set && set->count == expected.loops &&
                                 segment_count(set) == expected.segments);
            }
        }
        // 2. Wrap and intersect each set with itself.
        DYNAMIC_ARRAY_s** wrapped = nullptr;
        int m = 0;
        preprocess_region_sets(psi, sets, material, &wrapped, &m, hide_duplicates, clean_first ? &simple : nullptr);
        const int count = static_cast<int>(ring_nodes(sets).size());
        // 3. Intersections between the sets.
        if (wrapped) {
            if (hide_duplicates) PSI__set_hide_interset_duplicates(psi, wrapped, count);
            PSI__set_do_interset_intersections(psi, wrapped, count);
        }
        // 4. Dummy records only when the sets were not cleaned first.
        RING_header_s* dummy_ring = cover_dummies && !clean_first ? PSI__set_create_dummy_ring(psi->pool) : nullptr;
        // 5. The boundaries: a union is material where the material indicators of
        // the sets sum to at least 1, an intersection where they sum to n.
        const int offset = union_flag ? m : m - n + 1;
        if (wrapped) {
            PSI__set_extract_final_boundaries(psi, wrapped, count, offset, output, dummy_ring, false, nullptr);
        } else {
            output->material_at_infinity = offset > 0 ? 1 : 0;
        }
        // 6. Dummy covers.
        if (dummy_ring && dummy_ring->count > 0) {
            RING_header_s* second = PSI__set_create_dummy_ring(psi->pool);
            PSI__set_cover_paths(psi, wrapped, count, offset, output, dummy_ring, second, false, eval);
            RING_delete(second);
        }
        if (dummy_ring) RING_delete(dummy_ring);
        // 7. Give back what the operation made, unless the object is about to go
        // with its pool.
        if (!psi->keep_wrappers) {
            free_wrapped_sets(wrapped, count);
            if (cleaned) RING_delete(cleaned);
        }
    } catch (...) {
        if (cleaned) RING_delete(cleaned);
        throw;
    }
}

}  // namespace

void PSI__set_boolean(void* object, RING_header_s* set_of_sets, int* material, bool union_flag, bool clean_first,
                      bool cover_dummies, PSI_dummy_eval_cb_t eval, bool hide_duplicates, PSI_set_output_s* output) {
    set_boolean(as_psi(object), &set_of_sets, false, material, union_flag, clean_first, cover_dummies, eval,
                hide_duplicates, output);
}

void PSI__set_boolean_releasing_sets(void* object, RING_header_s** set_of_sets, int* material, bool union_flag,
                                     bool clean_first, bool cover_dummies, PSI_dummy_eval_cb_t eval,
                                     bool hide_duplicates, PSI_set_output_s* output) {
    set_boolean(as_psi(object), set_of_sets, true, material, union_flag, clean_first, cover_dummies, eval,
                hide_duplicates, output);
}

void PSI__set_clean_each_region_set(void* object, RING_header_s* set_of_sets, int* material,
                                    RING_header_s* output_set_of_sets, bool cover_dummies, PSI_dummy_eval_cb_t eval,
                                    bool cover_side, bool hide_duplicates) {
    clean_each_region_set(as_psi(object), set_of_sets, material, output_set_of_sets, cover_dummies, eval, cover_side,
                          hide_duplicates, false, nullptr);
}

namespace {

// The marks an untouched vertex record may carry: the vertex mark, the
// extraction's own marks (cleared when it starts) and the inside mark of the
// walks of other operations, which the extraction does not read.
const uint16_t kUntouchedNodeFlags = PSI_NODE_FLAG_VERTEX | PSI_NODE_FLAG_INSIDE | PSI_SET_MARKS;

// Whether the node record of vertex `i` of the wrapped closed poly `w` (of
// w->count segments, its first nodes laid) is as the wrapping laid it: it
// joins the segment ending there to the one starting there, around no other
// arm and along no other record, with no mark that the extraction reads, and
// the segment starting there has weight 1.
bool vertex_untouched(const Wrapper* w, int i) {
    const int count = w->count;
    const PSI_INTXN_NODE_s* n = w->first_nodes[i];
    const PSI_INTXN_NODE_s* next = w->first_nodes[(i + 1) % count];
    const PSI_INTXN_NODE_s* previous = w->first_nodes[(i + count - 1) % count];
    if (!n || !next || !previous) return false;
    if (n->segs[0] != w->segs[i] || n->segs[1] != w->segs[(i + count - 1) % count]) return false;
    if (n->pn_along[2] != next || n->pn_along[1] != previous || n->pn_along[0] || n->pn_along[3]) return false;
    if (n->next_around[1] != n || n->next_around_idx[1] != 2 || n->next_around[2] != n || n->next_around_idx[2] != 1)
        return false;
    if ((n->flags[0] | n->flags[1]) & ~kUntouchedNodeFlags) return false;
    return !(seg_piece(w->segs[i])->flags & merrow1::psi::SEG_FLAG_MULTIPLICITY);
}

// The extraction of a region set that its own intersection left untouched,
// without the floods.  The set is one closed poly, wrapped whole, whose node
// records are its vertices alone: each joins the segment ending there to the
// one starting there, around no other arm and along no other record, with no
// mark that the extraction reads (nothing blanked, reversed, touching or
// merged) and every segment of weight 1.  The poly is then a simple loop with
// two faces.  The extraction starts at the first segment that is no vertical
// line, with the level the ray from there gives the face on its right; the
// face on its left is one higher.  The loop is a boundary when the right face
// is at level 0 (no material, the left one material), and the walk along that
// face goes round the loop from the start segment on: it is stored so, piece
// by piece as the extraction stores it.  At any other level neither face or
// both are material and there is no boundary; nor is there for a loop of
// dummies only.  False when the set is not of this kind (the extraction is
// then needed).  With `take` the poly's nodes themselves may become the
// loop's (the caller deletes the set once it is cleaned): where the pieces
// the extraction would make are the nodes' records as they stand (lines with
// the plain line parameter and whole arcs, no data to copy, in the output's
// pool), the nodes are moved over instead.
// `stored_first` receives the place in the wrapper of the segment the stored
// loop starts with, or -1 when no loop is stored.
bool store_untouched_loop(PSI_s* psi, DYNAMIC_ARRAY_s** wrapped, int m, PSI_set_output_s* output, bool take,
                          int* stored_first) {
    *stored_first = -1;
    DYNAMIC_ARRAY_s* ws = wrapped[0];
    if (!ws || ws->num_active != 1) return false;
    if (output->kind != PSI_SET_OUTPUT_SET || output->mode != PSI_SET_OUTPUT_POLYS) return false;
    CMEM_pool_s* pool = PSI_set_output_ask_pool(output);
    const Wrapper* w = wrapper_at(ws, 0);
    RING_header_s* poly = w->poly;
    const int count = w->count;
    if (!pool || !poly || !POLY_SEG_is_closed(poly) || count < 1 || count != poly->count || !w->first_nodes)
        return false;
    if (psi->nodes->num_active != count) return false;
    int first = -1;
    bool all_dummies = true;
    take = take && !output->copy && poly->pool == pool;
    for (int i = 0; i < count; ++i) {
        if (!vertex_untouched(w, i)) return false;
        const PSI_INTXN_NODE_s* n = w->first_nodes[i];
        const PSI_INTXN_NODE_s* next = w->first_nodes[(i + 1) % count];
        const LINE_ARC_SEG_s* piece = seg_piece(w->segs[i]);
        if (first < 0 && !(LINE_ARC_SEG_is_line(piece) && piece->x == n->pnt.x)) first = i;
        if (!is_dummy_segment(w->segs[i])) all_dummies = false;
        // A line the extraction makes anew with the plain line parameter; an
        // arc from its own start to its own end it copies record for record.
        const PNT2_s from = seg_start(w->segs[i]);
        const bool as_made = LINE_ARC_SEG_is_line(piece) ? piece->h == LINE_ARC_SEG_LINE_H
                                                         : n->pnt.x == from.x && n->pnt.y == from.y &&
                                                               next->pnt.x == piece->x && next->pnt.y == piece->y;
        if (take && (w->segs[i]->app_data || !as_made || (piece->flags & LINE_ARC_SEG_FLAG_MULTIPLICITY)))
            take = false;
    }
    if (first < 0) return false;
    PSI_INTXN_NODE_s* start = w->first_nodes[first];
    PSI_wn_functor_s wn;
    std::memset(&wn, 0, sizeof wn);
    PSI__ray_calc_winding_number(psi, start, wrapped, 1, 1, false, &wn);
    output->material_at_infinity = m > 0 ? 1 : 0;
    if (wn.winding + m != 0 || all_dummies) return true;
    CERR_raise_on_abort();
    RING_header_s* loop = POLY_SEG_create(pool);
    for (int j = 0; j < count; ++j) {
        if (take)
            RING_move_node(poly, w->segs[(first + j) % count], loop, loop->last);
        else
            append_piece(output, loop, Half{w->first_nodes[(first + j) % count], 2});
    }
    close_loop_poly(loop, 1);
    POLY_SEG_append_to_set(static_cast<RING_header_s*>(output->target), loop);
    // The loop stays on the set's grid, as the extraction's output does.
    if (POLY_SEG_ask_header(poly)->scaling) POLY_SEG_copy_scaling(poly, loop);
    *stored_first = first;
    return true;
}

// Whether `loop` is the wrapped poly's segments from the place `first` on,
// piece for piece the same geometry and marks (a loop that
// store_untouched_loop stored, after the arcs' rounding).
bool same_loop_as_wrapped(const Wrapper* w, int first, const RING_header_s* loop) {
    if (!loop || loop->count != w->count) return false;
    int j = 0;
    for (RING_node_s* n : ring_nodes(loop)) {
        const LINE_ARC_SEG_s* a = seg_piece(n);
        const LINE_ARC_SEG_s* b = seg_piece(w->segs[(first + j++) % w->count]);
        if (a->x != b->x || a->y != b->y || a->h != b->h || a->flags != b->flags) return false;
        if (LINE_ARC_SEG_is_arc(a) && (a->cx != b->cx || a->cy != b->cy)) return false;
    }
    return true;
}

// Whether the set's own intersection left every node of the region set
// wrapped in `ws` as the wrapping laid it: each poly closed, wrapped whole,
// its nodes its vertices alone, untouched.
bool polys_untouched(PSI_s* psi, DYNAMIC_ARRAY_s* ws) {
    if (!ws) return false;
    int total = 0;
    for (int k = 0; k < ws->num_active; ++k) {
        const Wrapper* w = wrapper_at(ws, k);
        if (!w->poly || !POLY_SEG_is_closed(w->poly) || w->count < 1 || w->count != w->poly->count || !w->first_nodes)
            return false;
        for (int i = 0; i < w->count; ++i)
            if (!vertex_untouched(w, i)) return false;
        total += w->count;
    }
    return psi->nodes->num_active == total;
}

// Whether every loop of `set` is a whole poly of the region set wrapped in
// `ws`, piece for piece the same geometry and marks from some start, each
// poly at most once.
bool loops_are_whole_polys(DYNAMIC_ARRAY_s* ws, const RING_header_s* set) {
    // The end point of each wrapped segment, by x then y, with its place.
    struct End {
        double x, y;
        int wrapper, seg;
    };
    std::vector<End> ends;
    for (int k = 0; k < ws->num_active; ++k) {
        const Wrapper* w = wrapper_at(ws, k);
        for (int i = 0; i < w->count; ++i) {
            const LINE_ARC_SEG_s* piece = seg_piece(w->segs[i]);
            ends.push_back(End{piece->x, piece->y, k, i});
        }
    }
    auto before = [](const End& a, const End& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); };
    std::sort(ends.begin(), ends.end(), before);
    std::vector<char> used(static_cast<size_t>(ws->num_active), 0);
    for (RING_node_s* pn : ring_nodes(set)) {
        const RING_header_s* loop = RING_ask_node_subring(pn);
        if (!loop || loop->count < 1) return false;
        const LINE_ARC_SEG_s* head = seg_piece(loop->first);
        const End key{head->x, head->y, 0, 0};
        bool found = false;
        for (auto it = std::lower_bound(ends.begin(), ends.end(), key, before);
             !found && it != ends.end() && it->x == key.x && it->y == key.y; ++it) {
            if (used[static_cast<size_t>(it->wrapper)]) continue;
            if (same_loop_as_wrapped(wrapper_at(ws, it->wrapper), it->seg, loop)) {
                used[static_cast<size_t>(it->wrapper)] = 1;
                found = true;
            }
        }
        if (!found) return false;
    }
    return true;
}

// The clean of each region set; with `release` each input set is deleted as
// soon as its cleaned copy is made (the set-of-sets node keeps no set).
// `simple_counts` (when given) receives per set the loops and segments of
// its cleaned copy when each loop of that copy is a whole poly of the set as
// it was, on which the self-intersection just done found nothing, and {0, 0}
// otherwise.
void clean_each_region_set(PSI_s* psi, RING_header_s* set_of_sets, int* material, RING_header_s* output_set_of_sets,
                           bool cover_dummies, PSI_dummy_eval_cb_t eval, bool cover_side, bool hide_duplicates,
                           bool release, std::vector<SimpleCount>* simple_counts) {
    if (!output_set_of_sets) return;
    CMEM_pool_s* pool = output_set_of_sets->pool;
    // The working rings live in the output's pool and go on every exit,
    // errors included, with a cleaned set not yet handed to the output.  A
    // one-node set of sets carries one region set at a time; the input sets
    // stay with their owner.
    struct WorkingRings {
        RING_header_s* single = nullptr;
        RING_node_s* slot = nullptr;
        RING_header_s* dummy_ring = nullptr;
        RING_header_s* second = nullptr;
        RING_header_s* result = nullptr;
        ~WorkingRings() {
            if (slot) slot->main_data = nullptr;
            if (result) RING_delete(result);
            if (single) RING_delete(single);
            if (dummy_ring) RING_delete(dummy_ring);
            if (second) RING_delete(second);
        }
    } rings;
    rings.single = POLY_SEG_create_set_of_sets(pool);
    rings.slot = RING_insert_after(rings.single, nullptr, nullptr);
    RING_node_s* slot = rings.slot;
    RING_header_s* single = rings.single;
    if (cover_dummies) {
        rings.dummy_ring = PSI__set_create_dummy_ring(pool);
        rings.second = PSI__set_create_dummy_ring(pool);
    }
    RING_header_s* dummy_ring = rings.dummy_ring;
    RING_header_s* second = rings.second;
    int index = 0;
    for (RING_node_s* sn : ring_nodes(set_of_sets)) {
        RING_header_s* set = RING_ask_node_subring(sn);
        slot->main_data = set;
        int* own = material ? &material[index] : nullptr;
        ++index;
        DYNAMIC_ARRAY_s** wrapped = nullptr;
        int m = 0;
        PSI__set_preprocess_region_sets(psi, single, own, &wrapped, &m, hide_duplicates);
        RING_header_s* result = rings.result =
            POLY_SEG_create_set(pool, m > 0 ? Korvo::Cam::MaterialAtInfinityPresent : Korvo::Cam::NoMaterialAtInfinity);
        // The set's own self-intersections are resolved by the positive
        // winding rule: material where winding + material at infinity >= 1.
        PSI_set_output_s output{result, 0, PSI_SET_OUTPUT_POLYS, PSI_SET_OUTPUT_SET, psi->create_data};
        int stored_first = -1;
        // Several polys that the intersection left untouched, noted before
        // the extraction walks their nodes.
        const bool untouched_polys = simple_counts && wrapped && !hide_duplicates && wrapped[0] &&
                                     wrapped[0]->num_active > 1 && polys_untouched(psi, wrapped[0]);
        if (wrapped && !store_untouched_loop(psi, wrapped, m, &output, release, &stored_first)) {
            if (dummy_ring) RING_delete_all_nodes(dummy_ring);
            PSI__set_extract_final_boundaries(psi, wrapped, 1, m, &output, dummy_ring, false, nullptr);
            if (dummy_ring && dummy_ring->count > 0) {
                RING_delete_all_nodes(second);
                PSI__set_cover_paths(psi, wrapped, 1, m, &output, dummy_ring, second, cover_side, eval);
            }
        }
        POLY_SEG_reround_arcs_in_set(result);
        if (simple_counts) {
            bool simple = false;
            if (wrapped && !hide_duplicates) {
                if (stored_first >= 0)
                    simple = result->count == 1 && same_loop_as_wrapped(wrapper_at(wrapped[0], 0), stored_first,
                                                                         RING_ask_node_subring(result->first));
                else if (untouched_polys)
                    simple = loops_are_whole_polys(wrapped[0], result);
            }
            simple_counts->push_back(simple ? SimpleCount{result->count, segment_count(result)} : SimpleCount{0, 0});
        }
        free_wrapped_sets(wrapped, 1);
        POLY_SEG_append_to_set_of_sets(output_set_of_sets, result);
        rings.result = nullptr;
        if (release) {
            RING_set_node_subring(sn, nullptr);
            RING_delete(set);
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Material at infinity
// ---------------------------------------------------------------------------

int PSI__set_is_wrap_mat_at_inf(void* object, DYNAMIC_ARRAY_s* wrapped) {
    PSI_s* psi = as_psi(object);
    if (!wrapped || wrapped->num_active == 0) return 0;
    double measures[2] = {0, 0};
    for (int i = 0; i < wrapped->num_active; ++i) {
        CERR_raise_on_abort();
        PSI__ray_trace_outer_boundary(psi, wrapper_at(wrapped, i), &wrapped, 1, measures);
    }
    return measures[1] > measures[0] ? 1 : 0;
}

int PSI__set_is_material_at_inf(void* object, RING_header_s* set, double* box) {
    PSI_s* psi = as_psi(object);
    const auto polys = ring_nodes(set);
    if (polys.empty()) return Korvo::Cam::MaterialAtInfinityUndetermined;
    DYNAMIC_ARRAY_s* ws = DYNAMIC_ARRAY__create(psi->pool, static_cast<int>(sizeof(Wrapper)), 5, 5);
    PSI__reset(psi);
    PSI__fit_nodes_to_input(psi, PSI__count_pieces(set, 1));
    bool saw_open = false;
    for (RING_node_s* pn : polys) {
        RING_header_s* poly = RING_ask_node_subring(pn);
        if (!poly) continue;
        const POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
        if (header && header->is_open) {
            saw_open = true;
            continue;
        }
        const int before = ws->num_active;
        Wrapper* w = static_cast<Wrapper*>(DYNAMIC_ARRAY_take_element(ws));
        PSI__wrap_poly(psi, poly, w);
        if (w->count == 0) {
            DA_set_num_active(ws, before);
            continue;
        }
        CERR_raise_on_abort();
        PSI__ixn_init_poly_intxn_nodes(psi, w);
        for (int j = 0; j <= before; ++j) PSI__ixn_intersect_2_poly(psi, w, wrapper_at(ws, j), nullptr);
    }
    int result;
    if (ws->num_active == 0) {
        result = saw_open ? Korvo::Cam::NoMaterialAtInfinity : Korvo::Cam::MaterialAtInfinityUndetermined;
    } else {
        if (box) {
            box[0] = 1e19;
            box[1] = -1e19;
            box[2] = 1e19;
            box[3] = -1e19;
            for (int i = 0; i < ws->num_active; ++i) {
                const Wrapper* w = wrapper_at(ws, i);
                const double* b = w->boxes[w->root_span - 1];
                if (b[0] < box[0]) box[0] = b[0];
                if (b[1] > box[1]) box[1] = b[1];
                if (b[2] < box[2]) box[2] = b[2];
                if (b[3] > box[3]) box[3] = b[3];
            }
        }
        for (int i = 0; i < ws->num_active; ++i) PSI__ixn_sort_intersects(psi, wrapper_at(ws, i));
        result = PSI__set_is_wrap_mat_at_inf(psi, ws);
    }
    for (int i = 0; i < ws->num_active; ++i) PSI__unwrap_poly(wrapper_at(ws, i));
    DYNAMIC_ARRAY__destroy(ws);
    return result;
}

void PSI__set_calc_inf_for_offsets(void* object, CMEM_pool_s* pool, RING_header_s* set_of_sets, bool has_offsets,
                                   bool grid_flag, int** material) {
    PSI_s* psi = as_psi(object);
    if (!material) return;
    const auto sets = ring_nodes(set_of_sets);
    const int n = static_cast<int>(sets.size());
    if (!*material) {
        if (n == 0) return;
        *material = CMEM_NEW_ARRAY(pool, int, n);
        for (int i = 0; i < n; ++i) (*material)[i] = Korvo::Cam::MaterialAtInfinityUndetermined;
    }
    for (int i = 0; i < n; ++i) {
        int& value = (*material)[i];
        if (value != Korvo::Cam::MaterialAtInfinityUndetermined) continue;
        RING_header_s* set = RING_ask_node_subring(sets[i]);
        if (!set) continue;
        // The set's own value when it knows it.
        const Korvo::Cam::MaterialAtInfinity stored = POLY_SEG_ask_material_at_inf(set);
        if (stored != Korvo::Cam::MaterialAtInfinityUndetermined) {
            value = stored;
            continue;
        }
        // Without offsets to come, sets the preprocessing can decide stay
        // undetermined.
        if (!has_offsets) {
            bool any_offset = false;
            for (RING_node_s* pn : ring_nodes(set)) {
                RING_header_s* poly = RING_ask_node_subring(pn);
                const POLY_SEG_header_s* header = poly ? POLY_SEG_ask_header(poly) : nullptr;
                if (header && header->offset != 0) any_offset = true;
            }
            if (!any_offset) continue;
        }
        // Decided on the geometry before any offset: on a fresh grid.
        INT_GRID_MAP_s* grid = POLY_SEG_put_set_to_grid(set, nullptr, grid_flag, nullptr, nullptr, 0);
        value = PSI__set_is_material_at_inf(psi, set, nullptr);
        POLY_SEG_get_set_from_grid(set);
        if (grid) INT_GRID_MAP__destroy(grid);
    }
}
