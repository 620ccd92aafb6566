// Mid-curve engine.
//
// CreateDetour:
//   1. the outside of the region: a copy of the region set in the engine's
//      pool with every material side flipped;
//   2. the coarse pass: n = inset / coarse step, rounded up unless the
//      fraction is within 1e-10, steps of inset / n;
//   3. when the fine step is above 1e-10 and below the coarse step by more
//      than 1e-10, the fine pass, continuing from where the coarse pass left
//      the outside: coarse / fine steps of the same rounding;
//   4. the best path, made in the caller's pool.
//
// A pass (ProcessTargets), for i = 1 .. n - 1:
//   1. the outside grown by one step (a union of the region set at that
//      implied offset, as zones), and the air zones extracted as chains;
//   2. the first air zone whose outside leaves both target sets clear
//      becomes the new outside; none: the pass ends;
//   3. a detour from start to end around that outside; one shorter than
//      twice the best so far (less 1e-10) becomes the best.
// A deeper zone's path may be longer than a shallower one's and still win:
// it keeps farther from the region's boundary.
#include <merrow1/Cam_MidCurve.h>

#include <merrow1/bzone.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_set.h>
#include <stend/error.h>

#include <climits>
#include <cmath>
#include <vector>

#include "chain/chain_record.h"
#include "chainops/shape_kind.h"
#include "engines/engine_memory.h"
#include "internal/check.h"
#include "chain/chain_fields_guard.h"
#include "internal/scratch_pool.h"

namespace Korvo {
namespace Cam {

namespace {

// Steps, fractions and length comparisons within this count as zero.
const double kTiny = 1e-10;
const double kNoBest = 1e19;

using merrow1::chains_of;
using merrow1::first_chain;
using merrow1::main_of;

// An outer boundary: closed, material outside (CCW with RIGHT, CW with LEFT),
// the shape of a periphery.
bool is_outer_boundary(const RING_header_s* chain) { return merrow1::is_periphery(chain); }

// Steps of `step` that cover `total`: the whole part, plus one when the
// fraction exceeds 1e-10.
int steps_over(double total, double step) {
    const double q = total / step;
    if (!(q < INT_MAX)) return INT_MAX;
    int n = static_cast<int>(std::floor(q));
    if (q - n > kTiny) ++n;
    return n;
}

RING_header_s* new_list(CMEM_pool_s* pool) { return RING_create_in_pool(nullptr, RING_TYPE_LIST, pool); }

}  // namespace

// ---------------------------------------------------------------------------
// The interface and its factory

IMidCurve::~IMidCurve() = default;

void* IMidCurve::operator new(std::size_t size) { return merrow1::engine_allocate(size); }

void IMidCurve::operator delete(void* p) { Korvo::Memory::CppMemory::free(p); }

IMidCurve* IMidCurve::MidCurveFactory() {
    try {
        return new MidCurve();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Life and settings

MidCurve::MidCurve()
    : m_pool(CMEM_private_create_pool(256, "MidCurve Pool", __LINE__, __FILE__)), m_regionSet(nullptr), m_inset(0.0),
      m_coarseStep(0.0), m_fineStep(0.0), m_maxLengthGiven(false), m_maxLength(0.0), m_initialized(false),
      m_avoidRegion(nullptr), m_bestDetour(nullptr), m_bestLength(0.0) {}

MidCurve::~MidCurve() {
    if (m_pool) CMEM_private_delete_pool(m_pool);
}

void MidCurve::Reset() {
    m_regionSet = nullptr;
    m_inset = m_coarseStep = m_fineStep = 0.0;
    m_maxLengthGiven = false;
    m_initialized = false;
    m_maxLength = 0.0;
    RING_delete(m_avoidRegion);
    m_avoidRegion = nullptr;
}

bool MidCurve::Initialize(RING_header_s* regionSet, double inset, double coarseStep, double fineStep) {
    Reset();
    // Each step divides by the coarse step; the passes count in steps.
    const bool sound = std::isfinite(inset) && std::isfinite(coarseStep) && std::isfinite(fineStep) &&
                       coarseStep > kTiny && inset >= 0.0 && fineStep >= 0.0;
    if (!sound) {
        MERROW1_NOTE_FAILURE("DUE_TO_INVALID_DATA");
        return false;
    }
    m_regionSet = regionSet;
    m_inset = inset;
    m_coarseStep = coarseStep;
    m_fineStep = fineStep;
    m_maxLengthGiven = false;
    m_initialized = regionSet && regionSet->first && regionSet->last;
    return m_initialized;
}

bool MidCurve::InitializeWithMaxLength(RING_header_s* regionSet, double inset, double coarseStep, double fineStep,
                                       double maxLength) {
    if (!Initialize(regionSet, inset, coarseStep, fineStep)) return false;
    m_maxLengthGiven = true;
    m_maxLength = maxLength;
    return true;
}

bool MidCurve::IsInitialized() const { return m_initialized; }

// ---------------------------------------------------------------------------
// The detour

RING_header_s* MidCurve::CreateDetour(const RING_header_s* targetsA, const Korvo::Math::Point3& start,
                                      const RING_header_s* targetsB, const Korvo::Math::Point3& end,
                                      CMEM_pool_s* pool, double* length) {
    if (length) *length = 0.0;
    if (!m_initialized) return nullptr;
    // Every call starts without a best: a path returned earlier is the
    // caller's and joins other points.
    m_bestDetour = nullptr;
    m_bestLength = 0.0;
    // 1.
    RING_delete(m_avoidRegion);
    m_avoidRegion = CHAIN_copy_no_link(m_regionSet, m_pool, nullptr);
    CHAIN_flip_material_side_for_set(m_avoidRegion);
    // 2.
    const int n = steps_over(m_inset, m_coarseStep);
    ProcessTargets(targetsA, start, targetsB, end, pool, n > 0 ? m_inset / n : 0.0, n);
    // 3.
    if (m_fineStep > kTiny && m_coarseStep - m_fineStep > kTiny) {
        const int fine = steps_over(m_coarseStep, m_fineStep);
        ProcessTargets(targetsA, start, targetsB, end, pool, m_coarseStep / fine, fine);
    }
    // 4.
    RING_header_s* best = m_bestDetour;
    if (best && length) *length = m_bestLength;
    m_bestDetour = nullptr;
    return best;
}

bool MidCurve::ProcessTargets(const RING_header_s* targetsA, const Korvo::Math::Point3& start,
                              const RING_header_s* targetsB, const Korvo::Math::Point3& end, CMEM_pool_s* pool,
                              double step, int count) {
    if (!m_bestDetour) m_bestLength = kNoBest;
    bool ran = false;
    for (int i = 1; i < count && m_avoidRegion; ++i) {
        // 1. The outside grown by the step; its air zones.
        RING_header_s* air = new_list(m_pool);
        merrow1::run_converting([&] {
            RING_header_s* set = CHAIN_create_boolean_set(m_pool, nullptr);
            CHAIN_append_region_set(set, m_avoidRegion, 0, CHAIN_IMPLIED_OFFSET_IN_FORCE, step, false, false);
            struct Work {
                RING_header_s* set;
                BZONE_map_s* map;
                ~Work() {
                    BZONE_destroy_map(map);
                    RING_delete(set);
                }
            } work{set, BZONE_create_map(m_pool, 4)};
            CHAIN_boolean_regions_to_zones(set, 0, 0, nullptr, nullptr, nullptr, nullptr, work.map);
            BZONE_map_apply_zone_boundary_functors(work.map, air, CHAIN_zone_order_extract_air_regions, nullptr);
            CHAIN_decouple_boolean_set(air, set);
        });
        // 2. The zone that still holds the targets.
        if (!air->first || !RegionContainsTargetSets(&air, targetsA, targetsB)) {
            RING_delete(air);
            break;
        }
        RING_delete(m_avoidRegion);
        m_avoidRegion = air;
        ran = true;
        // 3. The path around the grown outside, in the region's plane.
        if (!m_initialized) continue;
        RING_header_s* first = first_chain(m_avoidRegion);
        const CHAIN_main_data_s* region = main_of(first_chain(m_regionSet));
        if (first && region) main_of(first)->csys = region->csys;
        double len = 0.0;
        RING_header_s* path = CHAIN_create_detour_path_in_region(pool, m_avoidRegion, &start, &end,
                                                                 m_maxLengthGiven ? &m_maxLength : nullptr, &len);
        if (!path) continue;
        if (len < 2.0 * m_bestLength - kTiny) {
            RING_delete(m_bestDetour);
            m_bestDetour = path;
            m_bestLength = len;
        } else {
            RING_delete(path);
        }
    }
    return ran;
}

bool MidCurve::RegionContainsTargetSets(RING_header_s** plist, const RING_header_s* targetsA,
                                        const RING_header_s* targetsB) {
    RING_header_s* list = plist ? *plist : nullptr;
    if (!list) return false;
    // The targets' region-set ids are stamped for the tests only.
    merrow1::ChainFieldsGuard targets(merrow1::kChainRegionFields);
    std::vector<RING_header_s*> targetChains = chains_of(targetsA);
    for (RING_header_s* chain : chains_of(targetsB)) targetChains.push_back(chain);
    for (RING_header_s* chain : targetChains) targets.save_if_chain(chain);

    // True when the zone's region meets no target.
    auto clear_of_targets = [&](RING_header_s* zone) {
        return merrow1::run_converting([&] {
            RING_header_s* set = CHAIN_create_boolean_set(m_pool, nullptr);
            RING_header_s* meet = new_list(m_pool);
            struct Work {
                RING_header_s* set;
                RING_header_s* meet;
                ~Work() {
                    RING_delete(meet);
                    RING_delete(set);
                }
            } work{set, meet};
            for (RING_header_s* chain : chains_of(zone)) CHAIN_add_chain_to_list(set, chain);
            CHAIN_set_region_set_id_for_set(set, 0);
            for (RING_header_s* chain : targetChains) {
                CHAIN_add_chain_to_list(set, chain);
                main_of(chain)->region_set_id = 1;
            }
            CHAIN_intersect_regions(set, 0, false, nullptr, meet);
            return !meet->first;
        });
    };

    // Zones: an outer boundary and the chains after it, in list order.
    RING_header_s* zone = nullptr;
    bool accepted = false;
    for (int guard = list->count; list->first && guard > 0 && !accepted; --guard) {
        RING_node_s* node = list->first;
        RING_header_s* chain = RING_ask_node_subring(node);
        if (is_outer_boundary(chain)) {
            if (zone && clear_of_targets(zone)) {
                accepted = true;
                break;
            }
            RING_delete(zone);
            zone = new_list(m_pool);
        } else if (!zone) {
            ERROR_internal(__FILE__, __LINE__, "MidCurve::RegionContainsTargetSets - NULL materialZone");
        }
        RING_move_node(list, node, zone, zone->last);
    }
    if (!accepted && zone && zone->first) accepted = clear_of_targets(zone);
    if (!accepted) {
        RING_delete(zone);
        return false;
    }
    RING_delete(list);
    *plist = zone;
    return true;
}

}  // namespace Cam
}  // namespace Korvo
