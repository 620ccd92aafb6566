// Vertex source tracking: the provenance links of chains and vertices and the
// walks that answer which chain, and which vertex of it, a chain or vertex
// came from.
//
// Links:
// - header key 10: the chain this chain was stocked, offset, traced or
//   approximated from; key 137: the chain it was copied from; key 206: a root
//   mark where walks stop;
// - vertex key 20: the segment (chain, vertex) this vertex's segment was
//   copied or stocked from; key 17: the source chain and vertex with a mark;
//   key 14: the vertex is a split junction.
//
// The links are written by many hands and nothing forbids them to run in a
// circle.  Every walk below either has a fixed step limit of its own or is
// watched by a RevisitGuard, which ends it with "no source" as soon as it
// comes back to a place it has been.
#include <merrow1/chain_source.h>

#include <merrow1/chain.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_types.h>

#include <initializer_list>

namespace {

// Vertex flag bit 28: the vertex belongs to a fillet.
const unsigned int kFilletVertex = 1u << 28;
// Key-10 steps that ChainSegmentStockedFromUntilMatch takes at most.
const int kUntilMatchChainSteps = 50;
// Key-17 records that CHAIN_ask_source_vertex_sample_chain looks at at most.
const int kSampleChainRecords = 20;

// Detects that a deterministic walk has come back to a state it was in before.
//
// A walk whose next state depends only on its current state, over finitely
// many link records, either ends or reaches a state a second time, and from
// then on repeats forever.  The guard keeps one saved state and compares every
// later state with it; the saved state is renewed after 1, 2, 4, 8, ... further
// states.  Once the saved state lies on the cycle and the window is at least
// the cycle's length, the walk meets the saved state within one more round.
// So a walk through t distinct states with a cycle of length c is stopped
// within 2 (t + c) steps: the bound follows from the data walked, with no
// memory beyond one state.
template <class State>
class RevisitGuard {
public:
    // True when the walk has been in this state before (and must stop).
    bool revisits(const State& state) {
        if (saved_valid_ && state == saved_) return true;
        if (++steps_ >= window_) {
            saved_ = state;
            saved_valid_ = true;
            window_ *= 2;
            steps_ = 0;
        }
        return false;
    }

private:
    State saved_{};
    bool saved_valid_ = false;
    unsigned long window_ = 1;
    unsigned long steps_ = 0;
};

// A place on a key-20 walk.
struct SegmentPlace {
    const RING_header_s* chain;
    const RING_node_s* vertex;
    bool operator==(const SegmentPlace& other) const { return chain == other.chain && vertex == other.vertex; }
};

// A place on a key-17 walk; `rooted` tells whether a root-marked chain has
// been passed, which changes where the walk stops.
struct VertexPlace {
    const RING_header_s* chain;
    const RING_node_s* vertex;
    bool rooted;
    bool operator==(const VertexPlace& other) const {
        return chain == other.chain && vertex == other.vertex && rooted == other.rooted;
    }
};

// Presence of a key, whatever its datum (marks may carry a null datum).
bool has_key(const APP_DATA_s* list, APP_DATA_key_t key) {
    for (const APP_DATA_s* entry = list; entry; entry = entry->next)
        if (entry->key == key) return true;
    return false;
}

RING_header_s* header_link(const RING_header_s* chain, APP_DATA_key_t key) {
    return chain ? static_cast<RING_header_s*>(APP_DATA__ask_app_data(chain->app_data, key)) : nullptr;
}

RING_header_s* stocked_link(const RING_header_s* chain) { return header_link(chain, APP_DATA_STOCKED_FROM); }

bool is_root(const RING_header_s* chain) { return chain && has_key(chain->app_data, APP_DATA_SOURCE_ROOT); }

// The chain kind, -1 for a null chain or one without main data.
int kind_of(const RING_header_s* chain) {
    const auto* data = chain ? static_cast<const CHAIN_main_data_s*>(chain->main_data) : nullptr;
    return data ? data->kind : -1;
}

CHAIN_source_segment_s* segment_link(const RING_node_s* vertex) {
    return vertex ? static_cast<CHAIN_source_segment_s*>(APP_DATA__ask_app_data(vertex->app_data,
                                                                                APP_DATA_SOURCE_SEGMENT))
                  : nullptr;
}

CHAIN_source_chain_source_vertex_s* vertex_link(const RING_node_s* vertex) {
    return vertex ? static_cast<CHAIN_source_chain_source_vertex_s*>(
                        APP_DATA__ask_app_data(vertex->app_data, APP_DATA_SOURCE_VERTEX))
                  : nullptr;
}

bool is_fillet(const RING_node_s* vertex) {
    const auto* record = static_cast<const CHAIN_vertex_data_s*>(vertex->main_data);
    return record && (record->flags & kFilletVertex);
}

// Removes a record owned by the vertex (keys 17 and 20) and frees it.
void remove_owned(RING_node_s* vertex, APP_DATA_key_t key) {
    void* record = APP_DATA__ask_app_data(vertex->app_data, key);
    if (APP_DATA__remove_app_data(&vertex->app_data, key)) CMEM_private_delete_object(record);
}

// Calls f on the vertices from the first (skip_first false) or the second, at
// most the chain's vertex count of them.
template <class F>
void for_vertices(const RING_header_s* chain, bool skip_first, F f) {
    if (!chain || !chain->first) return;
    RING_node_s* node = skip_first ? chain->first->next : chain->first;
    for (int i = 0; node && i < chain->count; ++i, node = node->next) f(node);
}

// Whether the chain is the set, or is held by a node of the set (a list).
bool chain_is_in(const RING_header_s* chain, const RING_header_s* set) {
    if (!chain || !set) return false;
    if (set == chain) return true;
    if (set->type != RING_TYPE_LIST) return false;
    const RING_node_s* node = set->first;
    for (int i = 0; node && i < set->count; ++i, node = node->next)
        if (RING_ask_node_subring(node) == chain) return true;
    return false;
}

// Whether a link to this source chain is selected by the region-set id.
bool region_matches(const RING_header_s* source_chain, const int* region_set_id) {
    if (!region_set_id) return true;
    const auto* data = source_chain ? static_cast<const CHAIN_main_data_s*>(source_chain->main_data) : nullptr;
    return data && data->region_set_id == *region_set_id;
}

// Depth-first search of the chains a chain was built from: every SAMPLE_CHAIN
// source goes to the output list (not twice in a row), every other source is
// searched in turn.  `visited` holds every chain searched, so each is
// searched once and the depth is at most the number of chains met.
void collect_sample_sources(RING_header_s* chain, RING_header_s* visited, RING_header_s* list) {
    RING_header_s* previous = nullptr;
    for_vertices(chain, true, [&](RING_node_s* vertex) {
        RING_header_s* source = ChainSegmentStockedFrom(chain, vertex);
        if (kind_of(source) == SAMPLE_CHAIN) {
            if (source != previous) CHAIN_add_chain_to_list(list, source);
        } else if (source && !chain_is_in(source, visited)) {
            if (RING_insert_after(visited, visited->last, source)) collect_sample_sources(source, visited, list);
        }
        previous = source;
    });
}

// A scratch chain list that refers to chains owned elsewhere; deleted with
// the guard, without its chains.
class BorrowedList {
public:
    explicit BorrowedList(CMEM_pool_s* pool) : list_(RING_create_in_pool(nullptr, RING_TYPE_LIST, pool)) {
        RING_set_sub_ring_delfunc(list_, nullptr);
    }
    ~BorrowedList() { RING_delete(list_); }
    BorrowedList(const BorrowedList&) = delete;
    BorrowedList& operator=(const BorrowedList&) = delete;
    RING_header_s* get() const { return list_; }

private:
    RING_header_s* list_;
};

void remove_intermediate_source_of_chain(RING_header_s* chain, const int* region_set_id) {
    // The header link skips the source chain when it is selected.
    RING_header_s* source = stocked_link(chain);
    if (source && region_matches(source, region_set_id)) {
        if (RING_header_s* deeper = stocked_link(source))
            RING_put_header_app_data(chain, APP_DATA_STOCKED_FROM, deeper);
        else
            RING_delete_app_data(chain, APP_DATA_STOCKED_FROM);
    }
    // Each vertex link takes the link of its source vertex, one level only.
    for_vertices(chain, false, [&](RING_node_s* vertex) {
        if (CHAIN_source_segment_s* link = segment_link(vertex)) {
            if (region_matches(link->source_chain, region_set_id)) {
                if (const CHAIN_source_segment_s* deeper = segment_link(link->source_vertex)) {
                    const CHAIN_source_segment_s skip = *deeper;
                    *link = skip;
                } else {
                    remove_owned(vertex, APP_DATA_SOURCE_SEGMENT);
                }
            }
        }
        if (CHAIN_source_chain_source_vertex_s* link = vertex_link(vertex)) {
            if (region_matches(link->source_chain, region_set_id)) {
                if (const CHAIN_source_chain_source_vertex_s* deeper = vertex_link(link->source_vertex)) {
                    const CHAIN_source_chain_source_vertex_s skip = *deeper;
                    link->source_chain = skip.source_chain;
                    link->source_vertex = skip.source_vertex;
                    if (skip.mark) link->mark = true;
                } else {
                    remove_owned(vertex, APP_DATA_SOURCE_VERTEX);
                }
            }
        }
    });
}

}  // namespace

// ---------------------------------------------------------------------------
// Queries

void ChainSegmentCopyFrom(const RING_header_s* chain, const RING_node_s* vertex, RING_header_s** source_chain,
                          RING_node_s** source_vertex) {
    const CHAIN_source_segment_s* link = chain ? segment_link(vertex) : nullptr;
    if (source_chain) *source_chain = link ? link->source_chain : nullptr;
    if (source_vertex) *source_vertex = link ? link->source_vertex : nullptr;
}

void ChainVertexSource(const RING_header_s* chain, const RING_node_s* vertex, RING_header_s** back_chain,
                       RING_node_s** back_vertex, RING_header_s** forward_chain, RING_node_s** forward_vertex) {
    if (!chain) return;
    ChainSegmentCopyFrom(chain, vertex, back_chain, back_vertex);
    ChainSegmentCopyFrom(chain, vertex ? vertex->next : nullptr, forward_chain, forward_vertex);
}

RING_header_s* ChainSegmentStockedFromPrecise(RING_header_s* chain, RING_node_s* vertex) {
    if (!vertex) return nullptr;
    // Invariant: (current, at) is the segment reached so far; copies are
    // followed back until a segment that was not copied, whose chain's key-10
    // link is the answer.
    RING_header_s* current = chain;
    const RING_node_s* at = vertex;
    RevisitGuard<SegmentPlace> guard;
    for (;;) {
        const CHAIN_source_segment_s* link = segment_link(at);
        if (!link) return stocked_link(current);
        current = link->source_chain;
        at = link->source_vertex;
        if (is_root(current)) return current;
        if (!at) return nullptr;
        if (guard.revisits({current, at})) return nullptr;
    }
}

RING_header_s* ChainSegmentStockedFrom(RING_header_s* chain, RING_node_s* vertex) {
    RING_header_s* source = ChainSegmentStockedFromPrecise(chain, vertex);
    return kind_of(source) == APPROX_CHAIN ? stocked_link(source) : source;
}

RING_header_s* ChainSegmentStockedFromUntilMatch(RING_header_s* chain, RING_node_s* vertex,
                                                 const RING_header_s* set) {
    if (!chain || !vertex) return nullptr;
    if (!set || !set->first || !set->last) return ChainSegmentStockedFrom(chain, vertex);

    // 1. Follow key-20 links while the vertices have them.
    RING_header_s* current = chain;
    const RING_node_s* at = vertex;
    RevisitGuard<SegmentPlace> guard;
    while (const CHAIN_source_segment_s* link = segment_link(at)) {
        current = link->source_chain;
        at = link->source_vertex;
        if (!current) return nullptr;
        if (chain_is_in(current, set)) return current;
        if (is_root(current) || !at) return nullptr;
        if (guard.revisits({current, at})) return nullptr;
    }
    // 2. Then the chain links, a bounded number of steps.
    for (int step = 0; step < kUntilMatchChainSteps; ++step) {
        current = stocked_link(current);
        if (!current) return nullptr;
        if (chain_is_in(current, set)) return current;
        if (is_root(current)) return nullptr;
    }
    return nullptr;
}

RING_header_s* ChainStockedFrom(RING_header_s* chain) {
    if (!chain) return nullptr;
    RING_header_s* current = chain;
    // 1. Offsets: back over key 10 until a chain of another kind, or to the
    //    chain named by key 137.
    {
        RevisitGuard<const RING_header_s*> guard;
        while (kind_of(current) == OFFSET_CHAIN) {
            if (has_key(current->app_data, APP_DATA_COPIED_FROM)) {
                current = header_link(current, APP_DATA_COPIED_FROM);
                break;
            }
            current = stocked_link(current);
            if (!current) return nullptr;
            if (is_root(current)) return current;
            if (kind_of(current) != OFFSET_CHAIN) break;
            if (guard.revisits(current)) return nullptr;
        }
    }
    // 2. Traces: back over key 10.
    {
        RevisitGuard<const RING_header_s*> guard;
        while (kind_of(current) == TRACE_CHAIN) {
            current = stocked_link(current);
            if (!current) return nullptr;
            if (guard.revisits(current)) return nullptr;
        }
    }
    // 3. One approximation.
    if (kind_of(current) == APPROX_CHAIN) current = stocked_link(current);
    return current == chain ? nullptr : current;
}

RING_header_s* ChainStockedFromPrecise(const RING_header_s* chain) {
    RING_header_s* source = stocked_link(chain);
    return kind_of(source) == TRACE_CHAIN ? stocked_link(source) : source;
}

RING_header_s* CHAIN_ask_copied_from(const RING_header_s* chain) {
    if (!chain || kind_of(chain) == TRACE_CHAIN || has_key(chain->app_data, APP_DATA_COPIED_FROM)) return nullptr;
    return stocked_link(chain);
}

CHAIN_source_chain_source_vertex_s* CHAIN_ask_source_vertex_sample_chain(const RING_header_s* chain,
                                                                         const RING_node_s* vertex) {
    if (!chain || !vertex) return nullptr;
    CHAIN_source_chain_source_vertex_s* link = vertex_link(vertex);
    for (int i = 0; i < kSampleChainRecords && link; ++i) {
        if (!link->source_chain) return nullptr;
        if (kind_of(link->source_chain) == SAMPLE_CHAIN) return link;
        link = vertex_link(link->source_vertex);
    }
    return nullptr;
}

RING_header_s* CHAIN_major_segment_stocked_from(RING_header_s* chain, RING_node_s* vertex,
                                                RING_node_s** source_vertex) {
    if (source_vertex) *source_vertex = nullptr;
    if (!chain || !vertex) return nullptr;
    const CHAIN_source_chain_source_vertex_s* first = vertex_link(vertex);
    if (!first) return nullptr;

    // Walk key-17 links (key 10 where a link names no vertex) until, once a
    // root-marked chain has been passed, a chain that is not an
    // approximation is reached.
    RING_header_s* current = first->source_chain;
    RING_node_s* at = first->source_vertex;
    bool rooted = false;
    RevisitGuard<VertexPlace> guard;
    while (current) {
        if (is_root(current)) rooted = true;
        if (rooted && kind_of(current) != APPROX_CHAIN) break;
        if (at) {
            const CHAIN_source_chain_source_vertex_s* link = vertex_link(at);
            current = link ? link->source_chain : nullptr;
            at = link ? link->source_vertex : nullptr;
        } else {
            current = stocked_link(current);
        }
        if (current && guard.revisits({current, at, rooted})) return nullptr;
    }
    if (current && source_vertex) *source_vertex = at;
    return current;
}

void CHAIN_vertex_stocked_from(RING_header_s* chain, RING_node_s* vertex, RING_header_s** back_chain,
                               RING_node_s** back_vertex, RING_header_s** forward_chain,
                               RING_node_s** forward_vertex) {
    RING_header_s* back = CHAIN_major_segment_stocked_from(chain, vertex, back_vertex);
    RING_header_s* forward = CHAIN_major_segment_stocked_from(chain, vertex ? vertex->next : nullptr, forward_vertex);
    if (back_chain) *back_chain = back;
    if (forward_chain) *forward_chain = forward;
}

bool ChainVertexGetSourceOfSplitVertex(const RING_header_s* chain, const RING_node_s* vertex,
                                       const RING_header_s* set, RING_header_s** back_chain,
                                       RING_header_s** forward_chain, RING_node_s** back_vertex,
                                       RING_node_s** forward_vertex, RING_node_s** split_vertex) {
    for (RING_header_s** out : {back_chain, forward_chain})
        if (out) *out = nullptr;
    for (RING_node_s** out : {back_vertex, forward_vertex, split_vertex})
        if (out) *out = nullptr;
    if (!chain || !vertex || !has_key(vertex->app_data, APP_DATA_SPLIT_VERTEX_SOURCE)) return false;

    // A fillet vertex takes the junction from the nearest predecessor that has
    // it, passing over fillet vertices only; at most one round of the chain.
    RING_node_s* split = const_cast<RING_node_s*>(vertex);
    if (is_fillet(vertex)) {
        RING_node_s* before = vertex->previous;
        for (int steps = 0;; ++steps, before = before->previous) {
            if (!before || steps >= chain->count) return false;
            if (has_key(before->app_data, APP_DATA_SPLIT_VERTEX_SOURCE)) break;
            if (!is_fillet(before)) return false;
        }
        split = before;
        if (split_vertex) *split_vertex = split;
    }

    RING_header_s* walked = const_cast<RING_header_s*>(chain);
    RING_node_s* after = vertex->next;
    RING_header_s* back = nullptr;
    RING_header_s* forward = nullptr;
    if (set) {
        back = ChainSegmentStockedFromUntilMatch(walked, split, set);
        forward = ChainSegmentStockedFromUntilMatch(walked, after, set);
    } else {
        back = CHAIN_major_segment_stocked_from(walked, split, back_vertex);
        forward = CHAIN_major_segment_stocked_from(walked, after, forward_vertex);
    }
    if (back_chain) *back_chain = back;
    if (forward_chain) *forward_chain = forward;
    return back && forward;
}

bool CHAIN_is_chain_stocked_from(RING_header_s* chain, RING_header_s* candidate) {
    if (!chain || !candidate) return false;
    RING_header_s* whole = ChainStockedFrom(chain);
    if (whole) return whole == candidate;
    bool found = false;
    for_vertices(chain, true, [&](RING_node_s* vertex) {
        if (!found && ChainSegmentStockedFrom(chain, vertex) == candidate) found = true;
    });
    return found;
}

void CHAIN_ask_stocked_source(RING_header_s* chain, RING_header_s* list) {
    if (!chain || !list) return;
    RING_header_s* previous = nullptr;
    for_vertices(chain, true, [&](RING_node_s* vertex) {
        RING_header_s* source = ChainSegmentStockedFrom(chain, vertex);
        if (source != previous) CHAIN_add_chain_to_list(list, source);
        previous = source;
    });
}

void CHAIN_ask_sample_stocked_source(RING_header_s* chain, RING_header_s* list) {
    if (!chain || !chain->first || !list) return;
    BorrowedList visited(chain->pool);
    if (!visited.get()) return;
    // The chain itself counts as searched, so a source link back to it is
    // not searched a second time.
    RING_insert_after(visited.get(), nullptr, chain);
    collect_sample_sources(chain, visited.get(), list);
}

void CHAIN_GetSourceChains(RING_header_s* chain, bool (*skip)(const RING_header_s*, const RING_node_s*),
                           RING_header_s* list) {
    if (!chain || !list) return;
    for_vertices(chain, true, [&](RING_node_s* vertex) {
        if (skip && skip(chain, vertex)) return;
        const CHAIN_source_segment_s* link = segment_link(vertex);
        RING_header_s* source = link ? link->source_chain : nullptr;
        if (source && source->first && source->last) CHAIN_add_chain_to_list(list, source);
    });
}

// ---------------------------------------------------------------------------
// Edits

void CHAIN_remove_source(RING_header_s* chain) {
    if (!chain || chain->type != RING_TYPE_CHAIN) return;
    RING_delete_app_data(chain, APP_DATA_STOCKED_FROM);
    for_vertices(chain, false, [](RING_node_s* vertex) {
        remove_owned(vertex, APP_DATA_SOURCE_SEGMENT);
        remove_owned(vertex, APP_DATA_SOURCE_VERTEX);
    });
}

void CHAIN_remove_intermediate_source(RING_header_s* chain_or_list, int* region_set_id) {
    if (!chain_or_list) return;
    if (chain_or_list->type == RING_TYPE_CHAIN) {
        remove_intermediate_source_of_chain(chain_or_list, region_set_id);
        return;
    }
    if (chain_or_list->type != RING_TYPE_LIST) return;
    RING_node_s* node = chain_or_list->first;
    for (int i = 0; node && i < chain_or_list->count; ++i, node = node->next) {
        RING_header_s* chain = RING_ask_node_subring(node);
        if (chain && chain->type == RING_TYPE_CHAIN) remove_intermediate_source_of_chain(chain, region_set_id);
    }
}

void CHAIN_copy_source_seg_app_data(const RING_header_s* chain, const RING_node_s* from, RING_node_s* to) {
    if (!chain || !from || !to || from == to) return;
    const CHAIN_source_segment_s* link = segment_link(from);
    if (!link) {
        remove_owned(to, APP_DATA_SOURCE_SEGMENT);
        return;
    }
    CHAIN_source_segment_s* target = segment_link(to);
    if (!target) {
        target = CMEM_NEW(chain->pool, CHAIN_source_segment_s);
        if (!target) return;
        if (!APP_DATA__add_data(&to->app_data, target, APP_DATA_SOURCE_SEGMENT, chain->pool)) {
            CMEM_private_delete_object(target);
            return;
        }
    }
    *target = *link;
}

void CHAIN_assign_source_chain_source_vertex_pc_data(const RING_header_s* source_chain,
                                                     const RING_node_s* source_vertex, bool mark,
                                                     CMEM_pool_s* pool, RING_node_s* vertex) {
    if (!vertex) return;
    // A vertex holds one key-17 link: an existing record is rewritten rather
    // than shadowed by a second one that could never be attached.
    CHAIN_source_chain_source_vertex_s* link = vertex_link(vertex);
    if (!link) {
        link = CMEM_NEW(pool, CHAIN_source_chain_source_vertex_s);
        if (!link) return;
        if (!APP_DATA__add_data(&vertex->app_data, link, APP_DATA_SOURCE_VERTEX, pool)) {
            CMEM_private_delete_object(link);
            return;
        }
    }
    link->source_chain = const_cast<RING_header_s*>(source_chain);
    link->source_vertex = const_cast<RING_node_s*>(source_vertex);
    link->mark = mark;
}
