// Boolean trim engine (see the header).
//
// Parent search (query A, current B, stop S), returning the abort flag:
// from B's junction every trim piece start X leads to that piece's far end Y;
// at Y's junction a raw piece start one level up is A's parent, and a raw
// sibling piece end leads on to the sibling piece's start W, from which the
// search recurses.  Meeting S aborts.  A W already walked in this query is
// passed over, so a ring of siblings that never comes back to S ends too.
#include <merrow1/Cam_BoolTrim.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain_display.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_split.h>
#include <merrow1/chain_types.h>
#include <merrow1/chain_violation.h>
#include <merrow1/chain.h>

#include <pellam/mchn_merge_split.h>
#include <pellam/mchn_segment.h>
#include <pellam/tp_builders.h>
#include <stend/system.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "chain/chain_record.h"
#include "engines/engine_memory.h"

namespace Korvo {
namespace Cam {

namespace {

// A piece whose start parameter is within this of 0 and whose end parameter
// is within it of the vertex count covers the whole closed source chain.
constexpr double kWholeChainParameterTolerance = 1e-8;

const BoolTrimRawLevel_s* level_of(const RING_header_s* chain) {
    return chain ? static_cast<const BoolTrimRawLevel_s*>(APP_DATA__ask_app_data(chain->app_data,
                                                                                 CHAIN_APP_DATA_RAW_CHAIN_LEVEL))
                 : nullptr;
}

// Order of coinciding segments in the network: raw chains before trim
// chains, deeper levels first, then the greater address.
bool order_chains(const RING_header_s* a, const RING_header_s* b) {
    const BoolTrimRawLevel_s* la = level_of(a);
    const BoolTrimRawLevel_s* lb = level_of(b);
    if (la && !lb) return true;
    if (!la && lb) return false;
    if (la && lb && la->level != lb->level) return la->level > lb->level;
    return std::less<const RING_header_s*>()(b, a);
}

SPLIT_CHAIN_s* split_of(const RING_node_s* node) {
    return node ? static_cast<SPLIT_CHAIN_s*>(node->main_data) : nullptr;
}

RING_header_s* source_of(const SPLIT_CHAIN_s* split) {
    return split && split->piece && split->piece->start ? split->piece->start->chain : nullptr;
}

// Ring neighbours, wrapping at the ends.
RING_node_s* next_of(const RING_header_s* ring, const RING_node_s* node) {
    if (!ring || !node) return nullptr;
    return node == ring->last ? ring->first : node->next;
}
RING_node_s* previous_of(const RING_header_s* ring, const RING_node_s* node) {
    if (!ring || !node) return nullptr;
    return node == ring->first ? ring->last : node->previous;
}

template <class F>
void for_each_node(const RING_header_s* ring, F f) {
    RING_node_s* n = ring ? ring->first : nullptr;
    for (int i = 0; n && i < ring->count; ++i) {
        RING_node_s* next = n == ring->last ? nullptr : n->next;
        f(n);
        n = next;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Locations
// ---------------------------------------------------------------------------

BoolTrimLoc::BoolTrimLoc(const RING_node_s* primary, RING_node_s* secondary)
    : m_primary(primary), m_secondary(secondary), m_parent(nullptr) {}

BoolTrimLoc::BoolTrimLoc(const BoolTrimLoc& other)
    : m_primary(other.m_primary),
      m_secondary(other.m_secondary),
      m_parent(other.m_parent ? new BoolTrimLoc(*other.m_parent) : nullptr) {}

BoolTrimLoc& BoolTrimLoc::operator=(const BoolTrimLoc& other) {
    if (this == &other) return *this;
    BoolTrimLoc* parent = other.m_parent ? new BoolTrimLoc(*other.m_parent) : nullptr;
    delete m_parent;
    m_primary = other.m_primary;
    m_secondary = other.m_secondary;
    m_parent = parent;
    return *this;
}

BoolTrimLoc::~BoolTrimLoc() { delete m_parent; }

void* BoolTrimLoc::operator new(std::size_t size) { return merrow1::engine_allocate(size); }
void BoolTrimLoc::operator delete(void* p) { Korvo::Memory::CppMemory::free(p); }

void BoolTrimLoc::SetParentLoc(BoolTrimLoc* parent) {
    if (parent == m_parent) return;
    delete m_parent;
    m_parent = parent;
}

SPLIT_CHAIN_s* BoolTrimLoc::GetSplitChain() const { return split_of(m_secondary); }
RING_header_s* BoolTrimLoc::GetSourceChain() const { return source_of(GetSplitChain()); }

const RING_node_s* BoolTrimLoc::GetNextPrimaryNode() const {
    const SPLIT_CHAIN_s* s = GetSplitChain();
    return s ? s->far_junction : nullptr;
}

bool BoolTrimLoc::IsStartLoc() const {
    const SPLIT_CHAIN_s* s = GetSplitChain();
    return s && s->reversed == 0;
}
bool BoolTrimLoc::IsEndLoc() const {
    const SPLIT_CHAIN_s* s = GetSplitChain();
    return s && s->reversed == 1;
}
bool BoolTrimLoc::HasRawSource() const { return level_of(GetSourceChain()) != nullptr; }
bool BoolTrimLoc::HasTrimSource() const { return !HasRawSource(); }

bool BoolTrimLoc::IsClosed() const {
    const SPLIT_CHAIN_s* s = GetSplitChain();
    const RING_header_s* chain = GetSourceChain();
    if (!chain || !s->piece->end || !merrow1::is_closed(chain)) return false;
    return std::fabs(s->piece->start->parameter) <= kWholeChainParameterTolerance &&
           std::fabs(s->piece->end->parameter - chain->count) <= kWholeChainParameterTolerance;
}

RING_header_s* BoolTrimLoc::CreateChain(CMEM_pool_s* pool, CHAIN_vertex_source_callback_t callback) const {
    if (!GetSplitChain()) return nullptr;
    RING_header_s* chain = IsClosed() ? CHAIN_copy_deep(GetSourceChain(), pool, callback)
                                      : CHAIN_create_splitchain_chain(m_secondary, pool, callback);
    if (chain) RING_put_header_app_data(chain, CHAIN_APP_DATA_SPLIT_JUNCTION, m_secondary);
    return chain;
}

bool BoolTrimLoc::IsEqual(const BoolTrimLoc& other) const {
    return m_primary == other.m_primary && m_secondary == other.m_secondary;
}

bool BoolTrimLoc::HasIdenticalPartOfChain(const BoolTrimLoc& other) const {
    const SPLIT_CHAIN_s* a = GetSplitChain();
    const SPLIT_CHAIN_s* b = other.GetSplitChain();
    return a == b || (a && b && a->piece == b->piece);
}

bool BoolTrimLoc::IsParentLoc(const BoolTrimLoc& other) const {
    if (m_parent) return IsEqual(other);
    const BoolTrimRawLevel_s* mine = level_of(GetSourceChain());
    const BoolTrimRawLevel_s* theirs = level_of(other.GetSourceChain());
    return mine && theirs && theirs->level == mine->level + 1;
}

bool BoolTrimLoc::IsSiblingLoc(const BoolTrimLoc& other) const {
    if (IsEqual(other) || HasIdenticalPartOfChain(other)) return false;
    const BoolTrimRawLevel_s* mine = level_of(GetSourceChain());
    const BoolTrimRawLevel_s* theirs = level_of(other.GetSourceChain());
    return mine && theirs && mine->level == theirs->level;
}

bool BoolTrimLoc::IsSplitPtInAir(bool allowType3) const {
    bool inAir = true;
    for_each_node(RING_ask_node_subring(m_primary), [&](RING_node_s* n) {
        const SPLIT_CHAIN_s* s = split_of(n);
        RING_header_s* source = source_of(s);
        if (!inAir || !source || level_of(source)) return;
        const POINT_ON_CHAIN_s* at = s->reversed == 0 ? s->piece->start : s->piece->end;
        if (!at) return;
        const int type = MCHN_ask_segment_geom_type(source, at->node);
        if (type != 2 && !(allowType3 && type == 3)) inAir = false;
    });
    return inAir;
}

void BoolTrimLoc::Display(int colour, const int* parentColour) const {
    if (m_secondary) CHAIN_display_splitchain(m_secondary, 0, colour, 0, 0);
    if (parentColour && m_parent && m_parent->m_secondary)
        CHAIN_display_splitchain(m_parent->m_secondary, 0, *parentColour, 0, 0);
}

// ---------------------------------------------------------------------------
// Query stack
// ---------------------------------------------------------------------------

BoolTrim::BoolTrimQuery::QueryStackItem::~QueryStackItem() {
    for (BoolTrimLoc* loc : m_locs) delete loc;
}
void* BoolTrim::BoolTrimQuery::QueryStackItem::operator new(std::size_t size) {
    return merrow1::engine_allocate(size);
}
void BoolTrim::BoolTrimQuery::QueryStackItem::operator delete(void* p) { Korvo::Memory::CppMemory::free(p); }

BoolTrim::BoolTrimQuery::~BoolTrimQuery() { Empty(); }
void* BoolTrim::BoolTrimQuery::operator new(std::size_t size) { return merrow1::engine_allocate(size); }
void BoolTrim::BoolTrimQuery::operator delete(void* p) { Korvo::Memory::CppMemory::free(p); }

void BoolTrim::BoolTrimQuery::Pop() {
    if (m_stack.empty()) return;
    delete m_stack.back();
    m_stack.pop_back();
}

void BoolTrim::BoolTrimQuery::Empty() {
    while (!m_stack.empty()) Pop();
}

bool BoolTrim::BoolTrimQuery::Passes(const SPLIT_CHAIN_s* split) const {
    if (!split || !split->piece) return false;
    if (m_filter == 0) return true;
    return m_filter == 1 ? split->reversed == 0 : split->reversed == 1;
}

bool BoolTrim::BoolTrimQuery::PushItem(QueryStackItem* item) {
    if (item->m_locs.empty()) {
        delete item;
        return false;
    }
    try {
        m_stack.push_back(item);
    } catch (...) {
        delete item;
        throw;
    }
    return true;
}

namespace {

// A new location, or null when memory runs out.
BoolTrimLoc* new_location(const RING_node_s* primary, RING_node_s* secondary) {
    try {
        return new BoolTrimLoc(primary, secondary);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

bool BoolTrim::BoolTrimQuery::PushByChain(const RING_header_s* chain) {
    QueryStackItem* item = new QueryStackItem;
    for_each_node(m_network, [&](RING_node_s* junction) {
        for_each_node(RING_ask_node_subring(junction), [&](RING_node_s* end) {
            const SPLIT_CHAIN_s* s = split_of(end);
            if (Passes(s) && source_of(s) == chain) item->m_locs.push_back(new_location(junction, end));
        });
    });
    return PushItem(item);
}

bool BoolTrim::BoolTrimQuery::PushByJunction(const RING_node_s* junction) {
    QueryStackItem* item = new QueryStackItem;
    for_each_node(RING_ask_node_subring(junction), [&](RING_node_s* end) {
        if (Passes(split_of(end))) item->m_locs.push_back(new_location(junction, end));
    });
    return PushItem(item);
}

bool BoolTrim::BoolTrimQuery::PushByPiece(const SPLIT_CHAIN_s* split) {
    QueryStackItem* item = new QueryStackItem;
    if (split) {
        for_each_node(m_network, [&](RING_node_s* junction) {
            for_each_node(RING_ask_node_subring(junction), [&](RING_node_s* end) {
                const SPLIT_CHAIN_s* s = split_of(end);
                if (Passes(s) && s->piece == split->piece) item->m_locs.push_back(new_location(junction, end));
            });
        });
    }
    return PushItem(item);
}

// ---------------------------------------------------------------------------
// Results
// ---------------------------------------------------------------------------

BoolTrim::BoolTrimResults::~BoolTrimResults() { Clear(); }
void* BoolTrim::BoolTrimResults::operator new(std::size_t size) { return merrow1::engine_allocate(size); }
void BoolTrim::BoolTrimResults::operator delete(void* p) { Korvo::Memory::CppMemory::free(p); }

void BoolTrim::BoolTrimResults::Clear() {
    RING_delete(m_ring);
    m_ring = nullptr;
}

void BoolTrim::BoolTrimResults::Add(BoolTrimLoc* loc) {
    if (!loc) return;
    if (!m_ring) m_ring = RING_create_in_pool_private(nullptr, RING_TYPE_LIST, m_pool, "Cam_BoolTrim", __LINE__);
    const BoolTrimLoc* parent = loc->GetParentLoc();
    RING_header_s* group = nullptr;
    for_each_node(m_ring, [&](RING_node_s* n) {
        RING_header_s* g = RING_ask_node_subring(n);
        const BoolTrimLoc* p = static_cast<const BoolTrimLoc*>(g->main_data);
        if (!group && (p == parent || (p && parent && p->IsEqual(*parent)))) group = g;
    });
    if (!group) {
        group = RING_create_in_pool_private(const_cast<BoolTrimLoc*>(parent), RING_TYPE_CHAIN, m_pool,
                                            "Cam_BoolTrim", __LINE__);
        RING_insert_after(m_ring, m_ring->last, group);
    }
    RING_insert_after(group, group->last, loc);
}

RING_header_s* BoolTrim::BoolTrimResults::Group(int i) const {
    if (!m_ring || i < 1 || i > m_ring->count) return nullptr;
    RING_node_s* n = m_ring->first;
    for (int k = 1; k < i; ++k) n = n->next;
    return RING_ask_node_subring(n);
}

// ---------------------------------------------------------------------------
// The engine
// ---------------------------------------------------------------------------

IBoolTrim::~IBoolTrim() = default;
void* IBoolTrim::operator new(std::size_t size) { return merrow1::engine_allocate(size); }
void IBoolTrim::operator delete(void* p) { Korvo::Memory::CppMemory::free(p); }

IBoolTrim* IBoolTrim::BoolTrimFactory(const CMEM_pool_s* pool) {
    try {
        return new BoolTrim(pool);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

BoolTrim::BoolTrim(const CMEM_pool_s* pool)
    : m_pool(const_cast<CMEM_pool_s*>(pool)), m_query(new BoolTrimQuery), m_results(nullptr) {
    try {
        m_results = new BoolTrimResults(m_pool);
    } catch (...) {
        delete m_query;
        throw;
    }
}

BoolTrim::~BoolTrim() {
    delete m_results;
    delete m_query;
    RING_delete(m_booleanSet);
}

bool BoolTrim::SetChainSets(RING_header_s* rawSet, RING_header_s* trimSet) {
    Clear();
    if (!rawSet || !trimSet) return false;
    m_rawSet = rawSet;
    m_trimSet = trimSet;
    m_booleanSet = CHAIN_create_boolean_set(m_pool, nullptr);
    CHAIN_append_region_set(m_booleanSet, rawSet, 0, 0, 0.0, false, false);
    return CHAIN_append_region_set(m_booleanSet, trimSet, 1, 0, 0.0, false, false);
}

bool BoolTrim::HasRegions() const { return m_booleanSet && m_booleanSet->first && m_booleanSet->last; }

void BoolTrim::Clear() {
    m_results->Clear();
    m_query->Empty();
    m_query->m_network = nullptr;
    RING_delete(m_booleanSet);
    m_booleanSet = nullptr;
    m_rawSet = nullptr;
    m_trimSet = nullptr;
    m_network = nullptr;
}

bool BoolTrim::BuildNetwork() {
    if (!m_booleanSet) return false;
    // Raw chains are ethereal while the network is built; they come back on
    // every path, an error of the builder included.
    CHAIN_set_ethereal(m_rawSet);
    RING_header_s* network = nullptr;
    try {
        network = CHAIN_build_split_chain_network(m_booleanSet, m_pool, nullptr, order_chains, nullptr);
    } catch (...) {
        CHAIN_unset_ethereal(m_rawSet);
        throw;
    }
    CHAIN_unset_ethereal(m_rawSet);
    m_network = network;
    m_query->m_network = network;
    return network && network->first && network->last;
}

void BoolTrim::FindParents(RING_header_s* rawChain) {
    m_results->Clear();
    m_query->Empty();
    m_query->m_filter = 1;
    if (!m_query->PushByChain(rawChain)) return;
    BoolTrimQuery::QueryStackItem* item = m_query->Top();
    std::vector<const RING_node_s*> visited;
    for (BoolTrimLoc* a : item->m_locs) {
        if (!a || a->IsClosed()) continue;
        visited.clear();
        ParentSearch(a, a, a, visited);
    }
    for (BoolTrimLoc* a : item->m_locs) m_results->Add(a);
}

bool BoolTrim::ParentSearch(BoolTrimLoc* query, const BoolTrimLoc* current, const BoolTrimLoc* stop,
                            std::vector<const RING_node_s*>& visited) {
    bool abort = false;
    auto done = [&]() { return abort || query->HasParentLoc(); };
    m_query->m_filter = 1;
    if (!m_query->PushByJunction(current->GetPrimaryNode())) return false;
    // Items are read by copy of their pointer: deeper pushes may grow the
    // stack vector.
    BoolTrimQuery::QueryStackItem* xs = m_query->Top();
    for (BoolTrimLoc* x : xs->m_locs) {
        if (!x || x->GetSecondaryNode() == current->GetSecondaryNode() || x->HasRawSource()) continue;
        m_query->m_filter = 2;
        if (!m_query->PushByPiece(x->GetSplitChain())) continue;
        BoolTrimQuery::QueryStackItem* ys = m_query->Top();
        for (BoolTrimLoc* y : ys->m_locs) {
            if (!y || y->GetSecondaryNode() == x->GetSecondaryNode() || !y->HasTrimSource()) continue;
            m_query->m_filter = 0;
            if (!m_query->PushByJunction(y->GetPrimaryNode())) continue;
            BoolTrimQuery::QueryStackItem* zs = m_query->Top();
            for (BoolTrimLoc* z : zs->m_locs) {
                if (!z) continue;
                if (z->IsEqual(*stop)) {
                    abort = true;
                    break;
                }
                if (!z->HasRawSource()) continue;
                if (z->IsStartLoc() && z->IsParentLoc(*query)) {
                    query->SetParentLoc(new BoolTrimLoc(z->GetPrimaryNode(), z->GetSecondaryNode()));
                    break;
                }
                if (z->IsEndLoc() && z->IsSiblingLoc(*query)) {
                    m_query->m_filter = 1;
                    if (m_query->PushByPiece(z->GetSplitChain())) {
                        BoolTrimQuery::QueryStackItem* ws = m_query->Top();
                        for (BoolTrimLoc* w : ws->m_locs) {
                            if (!w) continue;
                            if (w->IsEqual(*stop)) {
                                abort = true;
                                break;
                            }
                            if (std::find(visited.begin(), visited.end(), w->GetSecondaryNode()) != visited.end())
                                continue;
                            visited.push_back(w->GetSecondaryNode());
                            abort = ParentSearch(query, w, stop, visited);
                            if (done()) break;
                        }
                        m_query->Pop();
                    }
                    if (done()) break;
                }
            }
            m_query->Pop();
            if (done()) break;
        }
        m_query->Pop();
        if (done()) break;
    }
    m_query->Pop();
    return abort;
}

namespace {

// The first end record of a raw piece in a junction's sub-ring.
RING_node_s* first_raw(const RING_node_s* junction) {
    RING_node_s* found = nullptr;
    for_each_node(RING_ask_node_subring(junction), [&](RING_node_s* n) {
        if (!found && level_of(source_of(split_of(n)))) found = n;
    });
    return found;
}

}  // namespace

void BoolTrim::FindCells(std::vector<ITPBuilder*>& builders, RING_header_s* rawChain, std::vector<CellRecord>& cells,
                         std::vector<RING_header_s*>& chains) {
    m_results->Clear();
    m_query->Empty();
    m_query->m_filter = 1;
    if (!m_query->PushByChain(rawChain)) return;
    std::vector<BoolTrimLoc*> locs = m_query->Top()->m_locs;
    const int n = static_cast<int>(locs.size());
    // Pieces run the other way round when the material is not on the left.
    const bool d = merrow1::main_of(rawChain)->material_side != LEFT;
    if (d && n >= 2) std::reverse(locs.begin(), locs.end());
    chains.resize(locs.size());
    for (int i = 0; i < n; ++i)
        chains[i] = locs[i] ? locs[i]->CreateChain(m_pool, MCHN_merge_segment_app_data_and_split_vertex_data) : nullptr;

    std::vector<BoolTrimLoc*> built;
    struct Owner {
        std::vector<BoolTrimLoc*>& v;
        ~Owner() {
            for (BoolTrimLoc* l : v) delete l;
        }
    } owner{built};
    for (ITPBuilder* b : builders) {
        TPPatternContourBuilder* pc = b ? dynamic_cast<TPPatternContourBuilder*>(b->GetContourBuilder()) : nullptr;
        if (!pc || !pc->m_chain) continue;
        RING_node_s* end =
            static_cast<RING_node_s*>(APP_DATA__ask_app_data(pc->m_chain->app_data, CHAIN_APP_DATA_SPLIT_JUNCTION));
        built.push_back(new BoolTrimLoc(pc->m_junction, end));
    }
    if (built.empty()) return;

    auto forward = [d](const RING_header_s* ring, const RING_node_s* node) {
        return d ? previous_of(ring, node) : next_of(ring, node);
    };
    auto backward = [d](const RING_header_s* ring, const RING_node_s* node) {
        return d ? next_of(ring, node) : previous_of(ring, node);
    };
    auto far_of = [](const RING_node_s* end) -> const RING_node_s* {
        const SPLIT_CHAIN_s* s = split_of(end);
        return s ? s->far_junction : nullptr;
    };
    auto forward_far = [&](const RING_node_s* junction) -> const RING_node_s* {
        RING_node_s* raw = first_raw(junction);
        return raw ? far_of(forward(RING_ask_node_subring(junction), raw)) : nullptr;
    };
    const int m = static_cast<int>(built.size());
    for (int i = 0; i < n;) {
        const int start = i;
        const RING_node_s* s = nullptr;
        const RING_node_s* e = nullptr;
        if (locs[i]) {
            const RING_node_s* junction = locs[i]->GetPrimaryNode();
            const RING_node_s* next = forward(m_network, junction);
            RING_node_s* raw = first_raw(junction);
            s = raw ? far_of(backward(RING_ask_node_subring(junction), raw)) : nullptr;
            if (s == next) {
                s = nullptr;
            } else if (s) {
                while (i < n - 1 && locs[i + 1]) {
                    if (forward_far(next) != forward(m_network, next)) break;
                    ++i;
                    next = forward(m_network, locs[i]->GetPrimaryNode());
                }
                e = forward_far(next);
            }
        }
        int j1 = -1, j2 = -1;
        if (s && e) {
            for (int k = 0; k < m && j1 < 0; ++k)
                if (built[k] && built[k]->GetPrimaryNode() == s) j1 = k;
            for (int k = std::max(j1, 0); k < m && j2 < 0; ++k)
                if (built[k] && built[k]->GetNextPrimaryNode() == e) j2 = k;
        }
        cells.push_back({j1, j2, start, i});
        i = i + 1;
    }
}

int BoolTrim::GetNumResults() const { return m_results->m_ring ? m_results->m_ring->count : 0; }

RING_node_s* BoolTrim::GetResultParentNode(int i) const {
    const RING_header_s* group = m_results->Group(i);
    const BoolTrimLoc* parent = group ? static_cast<const BoolTrimLoc*>(group->main_data) : nullptr;
    return parent ? parent->GetSecondaryNode() : nullptr;
}

RING_header_s* BoolTrim::CreateResultChains(int i) {
    const RING_header_s* group = m_results->Group(i);
    if (!group || !group->first) return nullptr;
    RING_header_s* set = CHAIN_create_boolean_set(m_pool, nullptr);
    for_each_node(group, [&](RING_node_s* n) {
        const BoolTrimLoc* loc = static_cast<const BoolTrimLoc*>(n->main_data);
        RING_header_s* chain = loc->CreateChain(m_pool, MCHN_merge_segment_app_data_and_split_vertex_data);
        if (chain) RING_insert_after(set, set->last, chain);
    });
    return set;
}

}  // namespace Cam
}  // namespace Korvo
