// Child offset map (see the header).
//
// Recording one child:
// 1. Each child vertex with a split-vertex record (key 14) that passes the
//    corner test gives two parent points; they become parent vertices with
//    an exit record (the first) and an entry record (the second).
// 2. An open child's first and last vertices give records of kinds 5 and 6
//    at their nearest parent points.
//
// Corner test of a child vertex v (parent P, tolerance t):
// 1. v is skipped when both its segments are stocked from the same source.
// 2. v must be a corner with the dot product of its unit tangents at most
//    0.9962 (sharper than about 5 degrees).
// 3. The reversed bisector from v's point meets P in a bounding part
//    (ChainPointRegion) at least t long.
// 4. With m the larger of t and 10 times P's approximation tolerance, P
//    stands in a boolean set as region 1 with implied offset -m; the lines
//    from v to the two bounding points must not violate it.  P's region-set
//    id, implied offset and its use word are put back on every path.
#include <merrow1/Cam_ChildOffsetMap.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_types.h>
#include <merrow1/chain_violation.h>
#include <merrow1/chain_create.h>
#include <merrow1/poly_seg.h>
#include <merrow1/poly_seg_chain.h>
#include <merrow1/poly_seg_grid.h>

#include <harlow/context.h>
#include <harlow/part.h>
#include <stend/system.h>

#include <algorithm>
#include <cmath>
#include <typeinfo>
#include <vector>

#include "chain/chain_fields_guard.h"
#include "chain/chain_record.h"
#include "engines/engine_memory.h"
#include "internal/ring_nodes.h"
#include "internal/scratch_pool.h"

namespace Korvo {
namespace Cam {

namespace {

const int kKey = CHAIN_APP_DATA_PARENT_SPLIT_POINT;
// Chain parameters closer than this are one place; a fraction above it lies
// inside its segment.
constexpr double kParameterTolerance = 1e-10;

using merrow1::is_closed;
using merrow1::main_of;
using merrow1::point_of;

using merrow1::ring_nodes;

// Key 262's delete function: the whole list of the vertex.
int delete_split_points(void* data) {
    ChildOffsetMap::ParentSplitPt* p = static_cast<ChildOffsetMap::ParentSplitPt*>(data);
    // A list is as long as the splits recorded at one vertex; the bound
    // guards against a ring.
    for (long guard = 0; p && guard < (1L << 30); ++guard) {
        ChildOffsetMap::ParentSplitPt* next = p->m_next;
        delete p;
        p = next;
    }
    return 1;
}

void register_key(RING_header_s* parent) {
    if (parent) RING_set_app_data_key(parent, kKey, delete_split_points);
}

// Whether the straight line from a to b (in the parent's coordinate system)
// runs into the material of the region chains of the boolean set, each grown
// by its implied offset (negative: shrunk into its material).
bool line_violates_region(const double a[2], const double b[2], const CSYS* csys, RING_header_s* set) {
    merrow1::ScratchPool pool("ChildOffsetMap: violation", __FILE__, __LINE__);
    const Korvo::Math::Point2 pa{a[0], a[1]}, pb{b[0], b[1]};
    RING_header_s* line = CHAIN_create_line_chain(csys, &pa, &pb, pool);
    if (!line) return false;  // a and b coincide: no line to run anywhere
    return CHAIN_check_if_violates_region(line, set, nullptr, nullptr, nullptr, nullptr);
}

int index_of(const RING_header_s* chain, const RING_node_s* vertex) {
    RING_node_s* n = chain->first;
    for (int i = 0; n && i < chain->count; ++i, n = n->next) {
        if (n == vertex) return i;
        if (n == chain->last) break;
    }
    return -1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Interface and records
// ---------------------------------------------------------------------------

IChildOffsetMap& IChildOffsetMap::operator=(const IChildOffsetMap&) { return *this; }
IChildOffsetMap::~IChildOffsetMap() = default;
void* IChildOffsetMap::operator new(std::size_t size) { return merrow1::engine_allocate(size); }
void IChildOffsetMap::operator delete(void* p) { Korvo::Memory::CppMemory::free(p); }

IChildOffsetMap* IChildOffsetMap::ChildOffsetMapFactory(RING_header_s* parent) {
    try {
        return new ChildOffsetMap(parent);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

ChildOffsetMap::ParentSplitPt::~ParentSplitPt() = default;
void* ChildOffsetMap::ParentSplitPt::operator new(std::size_t size) { return merrow1::engine_allocate(size); }
void ChildOffsetMap::ParentSplitPt::operator delete(void* p) { Korvo::Memory::CppMemory::free(p); }

ChildOffsetMap::ParentSplitPt* ChildOffsetMap::SplitPointsAt(const RING_node_s* parentVertex) {
    return parentVertex ? static_cast<ParentSplitPt*>(APP_DATA__ask_app_data(parentVertex->app_data, kKey)) : nullptr;
}

// ---------------------------------------------------------------------------
// Construction, copies and destruction
// ---------------------------------------------------------------------------

ChildOffsetMap::ChildOffsetMap(RING_header_s* parent)
    : m_pool(CMEM_private_create_pool(256, "ChildOffsetMap Pool", __LINE__, __FILE__)),
      m_parent(parent),
      m_ownsParent(false),
      // 2.54 micrometres in the work part's units (1: metric).
      m_tolerance(PART_ask_units(CONTEXT_ask_work_part()) == 1 ? 0.00254 : 0.0001) {
    register_key(m_parent);
}

ChildOffsetMap::ChildOffsetMap(const ChildOffsetMap& other)
    : IChildOffsetMap(other), m_pool(nullptr), m_parent(nullptr), m_ownsParent(false), m_tolerance(0) {
    CopyFrom(other);
}

void ChildOffsetMap::CopyFrom(const ChildOffsetMap& other) {
    CMEM_pool_s* pool = CMEM_private_create_pool(256, "ChildOffsetMap Pool", __LINE__, __FILE__);
    RING_header_s* copy = nullptr;
    try {
        if (other.m_parent) {
            copy = CHAIN_copy_no_link(other.m_parent, pool, nullptr);
            register_key(copy);
            // The copy's vertices take copies of the split points of theirs.
            const std::vector<RING_node_s*> from = ring_nodes(other.m_parent);
            const std::vector<RING_node_s*> to = ring_nodes(copy);
            for (size_t i = 0; i < from.size() && i < to.size(); ++i) {
                ParentSplitPt* head = nullptr;
                ParentSplitPt** tail = &head;
                for (const ParentSplitPt* p = SplitPointsAt(from[i]); p; p = p->m_next) {
                    *tail = new ParentSplitPt(p->m_child, p->m_childVertex, to[i], p->m_kind);
                    tail = &(*tail)->m_next;
                }
                if (head) RING_put_node_app_data(copy, to[i], kKey, head);
            }
        }
    } catch (...) {
        if (copy) RING_delete(copy);
        CMEM_private_delete_pool(pool);
        throw;
    }
    // The old pool and owned parent go only now, so that a failed copy
    // leaves the map as it was.
    if (m_ownsParent && m_parent) RING_delete(m_parent);
    if (m_pool) CMEM_private_delete_pool(m_pool);
    m_pool = pool;
    m_parent = copy;
    m_ownsParent = copy != nullptr;
    m_tolerance = other.m_tolerance;
}

IChildOffsetMap& ChildOffsetMap::operator=(const IChildOffsetMap& other) {
    if (&other == this) return *this;
    CopyFrom(dynamic_cast<const ChildOffsetMap&>(other));
    return *this;
}

ChildOffsetMap& ChildOffsetMap::operator=(const ChildOffsetMap& other) {
    if (&other != this) CopyFrom(other);
    return *this;
}

ChildOffsetMap::~ChildOffsetMap() {
    if (m_ownsParent && m_parent) RING_delete(m_parent);
    if (m_pool) CMEM_private_delete_pool(m_pool);
}

IChildOffsetMap* ChildOffsetMap::Clone() const { return new ChildOffsetMap(*this); }

// ---------------------------------------------------------------------------
// Recording children
// ---------------------------------------------------------------------------

void ChildOffsetMap::AddChildChains(RING_header_s* childOrList) {
    if (!childOrList || !m_parent) return;
    if (childOrList->type != RING_TYPE_LIST) {
        AddChild(childOrList);
        return;
    }
    RING_node_s* n = childOrList->first;
    for (int i = 0; n && i < childOrList->count; ++i, n = n->next) {
        if (RING_header_s* child = RING_ask_node_subring(n)) AddChild(child);
        if (n == childOrList->last) break;
    }
}

void ChildOffsetMap::AddChild(RING_header_s* child) {
    const std::vector<RING_node_s*> vertices = ring_nodes(child);
    // 1. The corners.
    for (RING_node_s* v : vertices) {
        if (!APP_DATA__ask_app_data(v->app_data, APP_DATA_SPLIT_VERTEX_SOURCE)) continue;
        double first[2], second[2];
        if (!CornerPoints(child, v, first, second)) continue;
        AddSplitPoint(child, v, first, ParentSplitPt::EXIT);
        AddSplitPoint(child, v, second, ParentSplitPt::ENTRY);
    }
    // 2. The ends of an open child.
    if (!is_closed(child) && vertices.size() >= 2) {
        AddSplitPoint(child, vertices.front(), point_of(vertices.front()), ParentSplitPt::OPEN_END | ParentSplitPt::ENTRY);
        AddSplitPoint(child, vertices.back(), point_of(vertices.back()), ParentSplitPt::OPEN_END | ParentSplitPt::EXIT);
    }
}

bool ChildOffsetMap::CornerPoints(RING_header_s* child, RING_node_s* v, double first[2], double second[2]) {
    // 1. Both segments stocked from one source.
    RING_header_s *back_chain = nullptr, *forward_chain = nullptr;
    RING_node_s *back_vertex = nullptr, *forward_vertex = nullptr;
    CHAIN_vertex_stocked_from(child, v, &back_chain, &back_vertex, &forward_chain, &forward_vertex);
    if (back_chain && back_chain == forward_chain && back_vertex == forward_vertex) return false;
    // 2. A sharp corner.
    double in[2], out[2];
    if (ChainVertexTangent(child, v, in, out, nullptr, nullptr) != CHAIN_TANGENT_BOTH) return false;
    if (in[0] * out[0] + in[1] * out[1] > 0.9962) return false;
    // 3. The part of the parent the reversed bisector meets.
    double bisector[2], angle = 0;
    if (!ChainVertexBiSector(child, v, bisector, &angle)) return false;
    const double direction[2] = {-bisector[0], -bisector[1]};
    POINT_ON_CHAIN_s places[2];
    PART_OF_CHAIN_s part{&places[0], &places[1]};
    if (!ChainPointRegion(m_parent, point_of(v), direction, &part)) return false;
    if (CHAIN_length_of_part_of_chain(&part) < m_tolerance) return false;
    const double a[2] = {part.start->point[0], part.start->point[1]};
    const double b[2] = {part.end->point[0], part.end->point[1]};
    // 4. The lines to the bounding points must not cross the parent's
    //    material, shrunk by m.
    const CHAIN_main_data_s* md = main_of(m_parent);
    double m = m_tolerance;
    if (md->approximation_tolerance_set) m = std::max(m, 10 * md->approximation_tolerance);
    bool violates = false;
    {
        // The parent's region-set id and implied offset come back when the
        // guard goes.
        merrow1::ChainFieldsGuard guard(merrow1::kChainFieldRegionSetId | merrow1::kChainFieldImpliedOffset);
        guard.save(m_parent);
        merrow1::ScratchPool pool("ChildOffsetMap: corner test", __FILE__, __LINE__);
        RING_header_s* set = CHAIN_create_boolean_set(pool, nullptr);
        CHAIN_append_region_set(set, m_parent, 1, CHAIN_IMPLIED_OFFSET_IN_FORCE, -m, false, false);
        const CSYS* csys = &md->csys;
        violates = line_violates_region(point_of(v), a, csys, set) || line_violates_region(point_of(v), b, csys, set);
        CHAIN_set_implied_offset_for_set(set, 0, false);
        RING_delete(set);
    }
    if (violates) return false;
    first[0] = a[0];
    first[1] = a[1];
    second[0] = b[0];
    second[1] = b[1];
    return true;
}

void ChildOffsetMap::AddSplitPoint(RING_header_s* child, RING_node_s* childVertex, const double point[2], int kind) {
    // The parent point as a parent vertex (the nearest place, so that an
    // earlier insertion cannot leave a stale place).
    POINT_ON_CHAIN_s place{};
    ChainPointMinDistance(m_parent, point, &place);
    if (!place.chain) return;
    RING_node_s* vertex = ChainInsertPointOnChain(&place);
    if (!vertex) return;
    // A list per vertex: a further child split here is appended.
    ParentSplitPt* record = new ParentSplitPt(child, childVertex, vertex, kind);
    ParentSplitPt* head = SplitPointsAt(vertex);
    if (!head) {
        RING_put_node_app_data(m_parent, vertex, kKey, record);
        return;
    }
    while (head->m_next) head = head->m_next;
    head->m_next = record;
}

// ---------------------------------------------------------------------------
// Queries
// ---------------------------------------------------------------------------

RING_node_s* ChildOffsetMap::NearestAhead(RING_header_s* child, double parameter, int bit, ParentSplitPt** out) {
    const std::vector<RING_node_s*> parent = ring_nodes(m_parent);
    // 1. A record at that very parameter.
    for (RING_node_s* pv : parent)
        for (ParentSplitPt* p = SplitPointsAt(pv); p; p = p->m_next)
            if (p->m_child == child && (p->m_kind & bit) &&
                std::fabs(index_of(child, p->m_childVertex) - parameter) <= kParameterTolerance) {
                *out = p;
                return pv;
            }
    // 2. The shortest length along the child from the place at the parameter.
    const std::vector<RING_node_s*> cv = ring_nodes(child);
    if (cv.empty()) return nullptr;
    const int k = std::max(0, std::min(static_cast<int>(cv.size()) - 1, static_cast<int>(std::floor(parameter))));
    const double t = parameter - k;
    double at[2] = {point_of(cv[static_cast<size_t>(k)])[0], point_of(cv[static_cast<size_t>(k)])[1]};
    if (t > kParameterTolerance && (static_cast<size_t>(k) + 1 < cv.size() || is_closed(child))) {
        // A point inside the segment that leaves vertex k, taken along its chord
        // and placed on the child at its nearest point.
        const double* b = point_of(cv[(static_cast<size_t>(k) + 1) % cv.size()]);
        at[0] += t * (b[0] - at[0]);
        at[1] += t * (b[1] - at[1]);
    }
    POINT_ON_CHAIN_s from{};
    ChainPointMinDistance(child, at, &from);
    double best = 1e19;
    RING_node_s* found = nullptr;
    for (RING_node_s* pv : parent) {
        for (ParentSplitPt* p = SplitPointsAt(pv); p; p = p->m_next) {
            if (p->m_child != child || !(p->m_kind & bit)) continue;
            POINT_ON_CHAIN_s start = from, end{};
            if (!PointOnChainCreate(child, p->m_childVertex, 0, point_of(p->m_childVertex), &end)) continue;
            PART_OF_CHAIN_s part{};
            if (!CreatePartOfChain(&part, &start, &end)) continue;
            const double length = CHAIN_length_of_part_of_chain(&part);
            if (length < best) {
                best = length;
                found = pv;
                *out = p;
            }
        }
    }
    return found;
}

bool ChildOffsetMap::GetNextChildEntryPt(RING_header_s* child, double parameter, bool entry, RING_header_s** outChild,
                                         double* outParameter) {
    if (!child || !m_parent) return false;
    ParentSplitPt* from = nullptr;
    RING_node_s* start = NearestAhead(child, parameter, entry ? ParentSplitPt::ENTRY : ParentSplitPt::EXIT, &from);
    if (!start) return false;
    // From the start vertex (its further records first) forward round the
    // parent, to its end when the parent is open.
    const bool closed = is_closed(m_parent);
    RING_node_s* v = start;
    for (int i = 0; v && i <= m_parent->count; ++i) {
        for (ParentSplitPt* p = SplitPointsAt(v); p; p = p->m_next) {
            if (p->m_child == child || !(p->m_kind & ParentSplitPt::ENTRY)) continue;
            if (outChild) *outChild = p->m_child;
            if (outParameter) *outParameter = index_of(p->m_child, p->m_childVertex);
            return true;
        }
        if (!closed && v == m_parent->last) break;
        v = v->next;
        if (v == start) break;
    }
    return false;
}

bool ChildOffsetMap::GetEntryExitPt(RING_header_s* child, double parameter, double* outParameter) {
    if (!child || !m_parent) return false;
    ParentSplitPt* from = nullptr;
    RING_node_s* start = NearestAhead(child, parameter, ParentSplitPt::ENTRY, &from);
    if (!start) return false;
    const bool closed = is_closed(m_parent);
    bool found = false;
    RING_node_s* v = start;
    for (int i = 0; v && i <= m_parent->count; ++i) {
        for (ParentSplitPt* p = SplitPointsAt(v); p; p = p->m_next) {
            if (p->m_child != child) {
                if (found) return true;
                continue;
            }
            if (p->m_kind & ParentSplitPt::EXIT) {
                if (outParameter) *outParameter = index_of(child, p->m_childVertex);
                found = true;
            }
        }
        if (!closed && v == m_parent->last) break;
        v = v->next;
        if (v == start) break;
    }
    return found;
}

}  // namespace Cam
}  // namespace Korvo
