// The boxed extent of a region set: material at infinity and the set's box,
// worked out once through a polygon-set intersection, then answered without
// polygon work.
#include <merrow1/RegionSetBoxedExtent.h>

#include <merrow1/chain.h>
#include <merrow1/chain_types.h>
#include <merrow1/int_grid_map.h>
#include <merrow1/poly_seg_chain.h>
#include <merrow1/poly_seg_grid.h>
#include <merrow1/psi.h>

#include <stend/error.h>
#include <stend/system.h>

#include "internal/owned.h"
#include "internal/scratch_pool.h"

#include <algorithm>
#include <exception>
#include <new>

namespace Korvo {
namespace Cam {

namespace {

typedef CMEM_pool_s* (*ask_mem_pool_fn)(void* psi);

enum { XMIN = 0, XMAX = 1, YMIN = 2, YMAX = 3 };

}  // namespace

RegionSetBoxedExtent::RegionSetBoxedExtent(const RING_header_s* regions, bool flipped)
    : m_material(MaterialAtInfinityUndetermined), m_flipped(flipped), m_box{0.0, 0.0, 0.0, 0.0} {
    merrow1::run_converting([&] {
        // 1-2. The object and its pool; everything below lives there, and
        //      goes with the object on every exit.
        merrow1::Owned<PSI_s, PSI_destroy> guard(PSI_create(0, true, false, nullptr, nullptr));
        PSI_s* psi = guard.get();
        CMEM_pool_s* pool = PSI_method<ask_mem_pool_fn>(psi, PSI_SLOT_ASK_MEM_POOL)(psi);
        // 3. The chains as a poly set on a new grid.  Without chains there is
        //    no box to make a grid over; the material stays undecided.
        RING_header_s* set =
            POLY_SEG_create_from_chain_set(const_cast<RING_header_s*>(regions), pool, false, false, nullptr);
        if (!set || !set->first) return;
        const INT_GRID_MAP_s* map = POLY_SEG_put_set_to_grid(set, nullptr, false, nullptr, nullptr, 0.0);
        // 4. Material at infinity and the box in grid units.
        double box[4] = {0.0, 0.0, 0.0, 0.0};
        m_material = PSI_method<PSI_set_is_material_at_inf_fn>(psi, PSI_SLOT_SET_IS_MATERIAL_AT_INF)(psi, set, box);
        // 5. The corners back to reals (grid values are whole numbers).
        auto to_reals = INT_GRID_MAP_method<INT_GRID_MAP_SLOT_GET_2D_FROM_GRID>(map);
        to_reals(map, static_cast<int>(box[XMIN]), static_cast<int>(box[YMIN]), &m_box[XMIN], &m_box[YMIN]);
        to_reals(map, static_cast<int>(box[XMAX]), static_cast<int>(box[YMAX]), &m_box[XMAX], &m_box[YMAX]);
        // 6. Flipping swaps a decided material.
        if (m_flipped && m_material != MaterialAtInfinityUndetermined) m_material = 1 - m_material;
        // 7. The guard destroys the object.
    });
}

RegionSetBoxedExtent::~RegionSetBoxedExtent() {}

bool RegionSetBoxedExtent::Intersects(RING_header_s* chain) {
    if (m_material == MaterialAtInfinityUndetermined) return false;
    if (m_material == MaterialAtInfinityPresent) return true;
    if (!chain || !chain->first) return false;
    // Every segment once: from the second vertex on, and on a closed chain
    // through the first again (its segment is the closing one).
    const bool closed = CHAIN_all_chains_are_closed(chain);
    const int segments = closed ? chain->count : chain->count - 1;
    RING_node_s* prev = chain->first;
    for (int i = 0; i < segments; ++i) {
        RING_node_s* v = prev->next;
        if (CHAIN_seg_ask_type(v) == SEG_ARC) return true;
        const double* a = static_cast<const CHAIN_vertex_data_s*>(prev->main_data)->geometry;
        const double* b = static_cast<const CHAIN_vertex_data_s*>(v->main_data)->geometry;
        Korvo::Math::Point2 start{a[0], a[1]};
        Korvo::Math::Point2 end{b[0], b[1]};
        // Through the virtual table, so that a derived extent answers.
        if (Intersects(&start, &end)) return true;
        prev = v;
    }
    return false;
}

bool RegionSetBoxedExtent::Intersects(Korvo::Math::Point2* start, Korvo::Math::Point2* end) {
    if (m_material == MaterialAtInfinityUndetermined) return false;
    if (m_material == MaterialAtInfinityPresent) return true;
    // 1. The ranges must overlap on both axes.
    if (std::max(start->x, end->x) < m_box[XMIN] || std::min(start->x, end->x) > m_box[XMAX]) return false;
    if (std::max(start->y, end->y) < m_box[YMIN] || std::min(start->y, end->y) > m_box[YMAX]) return false;
    // 2. The two corners farthest on either side of the segment's line: the
    //    upper-left and lower-right ones for a rising segment, else the
    //    lower-left and upper-right ones.
    const double dx = end->x - start->x;
    const double dy = end->y - start->y;
    const bool rising = (end->x > start->x) == (end->y > start->y);
    const double c1x = m_box[XMIN], c2x = m_box[XMAX];
    const double c1y = rising ? m_box[YMAX] : m_box[YMIN];
    const double c2y = rising ? m_box[YMIN] : m_box[YMAX];
    // 3-4. The box misses the line only when both corners lie strictly on
    //      one side; a zero counts as touching.
    const double s1 = (c1y - start->y) * dx - (c1x - start->x) * dy;
    const double s2 = (c2y - start->y) * dx - (c2x - start->x) * dy;
    return !((s1 > 0 && s2 > 0) || (s1 < 0 && s2 < 0));
}

bool RegionSetBoxedExtent::IsInfinite() const { return m_material == MaterialAtInfinityPresent; }

bool RegionSetBoxedExtent::IsFlipped() const { return m_flipped; }

RegionSetBoxedExtent& RegionSetBoxedExtent::operator=(const RegionSetBoxedExtent& other) {
    if (this == &other) return *this;
    m_material = other.m_material;
    m_flipped = other.m_flipped;
    for (int i = 0; i < 4; ++i) m_box[i] = other.m_box[i];
    return *this;
}

void* RegionSetBoxedExtent::operator new(size_t size, int) {
    void* p = Korvo::Memory::CppMemory::allocate(size);
    if (!p) throw std::bad_alloc();
    return p;
}

void* RegionSetBoxedExtent::operator new[](size_t size, int) {
    void* p = Korvo::Memory::CppMemory::allocate(size);
    if (!p) throw std::bad_alloc();
    return p;
}

void RegionSetBoxedExtent::operator delete(void* p) { Korvo::Memory::CppMemory::free(p); }
void RegionSetBoxedExtent::operator delete[](void* p) { Korvo::Memory::CppMemory::free(p); }
void RegionSetBoxedExtent::operator delete(void* p, int) { Korvo::Memory::CppMemory::free(p); }
void RegionSetBoxedExtent::operator delete[](void* p, int) { Korvo::Memory::CppMemory::free(p); }

}  // namespace Cam
}  // namespace Korvo
