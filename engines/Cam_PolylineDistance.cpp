// Closest approach of two 3-D polylines by bounded pair search.
//
// 1. Upper bound: the exact distance of the given start pair, or else of the
//    pair whose segment midpoints lie closest.
// 2. Candidates: every pair whose lower bound (midpoint distance less the two
//    half lengths) does not exceed the upper bound, sorted by that bound.
// 3. Exact distances of the candidates in order, until a candidate's lower
//    bound exceeds the best distance found by more than the tolerance.
#include <merrow1/Cam_PolylineDistance.h>

#include <randle/facetops.h>
#include <velte/cmem.h>

#include <algorithm>
#include <cmath>

#include "engines/engine_memory.h"
#include "engines/point_list.h"
#include "internal/check.h"
#include "internal/scratch_pool.h"

namespace Korvo {
namespace Cam {

namespace {

// The host's two curve tolerances for the distance of two segments.
constexpr double kSegmentDistanceTolerance = 1e-10;
// A pair whose lower bound is not above the upper bound plus this margin (or
// the tolerance, when collecting) is a candidate.
constexpr double kCandidateMargin = 1e-10;

using Korvo::Math::Point3;

// Midpoint and half length of every segment of a polyline.
struct SegmentBound {
    double mid[3];
    double half;
};

SegmentBound* segment_bounds(CMEM_pool_s* pool, const std::vector<Point3*>& pts) {
    const int n = static_cast<int>(pts.size()) - 1;
    SegmentBound* out = CMEM_NEW_ARRAY(pool, SegmentBound, n);
    for (int i = 0; i < n; ++i) {
        const Point3& a = *pts[i];
        const Point3& b = *pts[i + 1];
        out[i] = {{(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2},
                  std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) + (b.z - a.z) * (b.z - a.z)) / 2};
    }
    return out;
}

double mid_distance(const SegmentBound& a, const SegmentBound& b) {
    const double dx = a.mid[0] - b.mid[0], dy = a.mid[1] - b.mid[1], dz = a.mid[2] - b.mid[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

using merrow1::all_points_present;

}  // namespace

IPolylineDistance::~IPolylineDistance() = default;

void* IPolylineDistance::operator new(std::size_t size) { return merrow1::engine_allocate(size); }

void IPolylineDistance::operator delete(void* p) { Korvo::Memory::CppMemory::free(p); }

IPolylineDistance* IPolylineDistance::PolylineDistanceFactory(std::vector<Point3*>* reference) {
    try {
        return new PolylineDistance(reference);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

PolylineDistance::PolylineDistance(std::vector<Point3*>* reference)
    : m_reference(reference), m_referenceCount(reference ? static_cast<int>(reference->size()) : 0) {}

PolylineDistance::~PolylineDistance() { Reset(); }

void PolylineDistance::Reset() {
    if (m_pool) CMEM_private_delete_pool(m_pool);
    m_pool = nullptr;
    m_candidates.clear();
    m_results.clear();
    m_resultCount = 0;
    m_best = nullptr;
    m_upperBound = 1e19;
    m_bestDistance = 1e19;
}

PolylineDistanceResult* PolylineDistance::Measure(int i, int j) {
    const std::vector<Point3*>& ref = *m_reference;
    const std::vector<Point3*>& other = *m_other;
    const double a[6] = {ref[i]->x, ref[i]->y, ref[i]->z, ref[i + 1]->x, ref[i + 1]->y, ref[i + 1]->z};
    const double b[6] = {other[j]->x,     other[j]->y,     other[j]->z,
                         other[j + 1]->x, other[j + 1]->y, other[j + 1]->z};
    PolylineDistanceResult r;
    const int code =
        FACETOPS_dist_of_discrete_curvs(2, a, 2, b, kSegmentDistanceTolerance, kSegmentDistanceTolerance, 1,
                                        r.referencePoint, r.otherPoint, &r.distance);
    if (code != FACETOPS_OK)
        ERROR_raise(__FILE__, __LINE__, code, "distance of reference segment %d and segment %d failed", i, j);
    r.referenceSegment = i;
    r.otherSegment = j;
    PolylineDistanceResult* kept = CMEM_NEW(m_pool, PolylineDistanceResult);
    *kept = r;
    return kept;
}

PolylineDistanceResult* PolylineDistance::Run() {
    const int nr = m_referenceCount - 1, no = m_otherCount - 1;
    const SegmentBound* rb = segment_bounds(m_pool, *m_reference);
    const SegmentBound* ob = segment_bounds(m_pool, *m_other);

    // Pass 1: the upper bound.
    if (m_referenceStart && m_otherStart) {
        m_upperBound = Measure(*m_referenceStart, *m_otherStart)->distance;
    } else {
        int bi = 0, bj = 0;
        double closest = mid_distance(rb[0], ob[0]);
        for (int i = 0; i < nr; ++i)
            for (int j = 0; j < no; ++j) {
                const double d = mid_distance(rb[i], ob[j]);
                if (d < closest) closest = d, bi = i, bj = j;
            }
        m_upperBound = Measure(bi, bj)->distance;
    }

    // Pass 2: candidates.  When collecting, the margin is the tolerance: a
    // pair within the tolerance of the minimum may lie above the first bound.
    const double margin = m_collect ? std::max(m_tolerance, kCandidateMargin) : kCandidateMargin;
    for (int i = 0; i < nr; ++i)
        for (int j = 0; j < no; ++j) {
            const double lower = mid_distance(rb[i], ob[j]) - rb[i].half - ob[j].half;
            if (lower > m_upperBound + margin) continue;
            Candidate* c = CMEM_NEW(m_pool, Candidate);
            *c = {i, j, lower};
            m_candidates.push_back(c);
        }
    std::stable_sort(m_candidates.begin(), m_candidates.end(),
                     [](const Candidate* a, const Candidate* b) { return a->lowerBound < b->lowerBound; });

    // Pass 3: exact distances.
    for (const Candidate* c : m_candidates) {
        if (c->lowerBound - m_tolerance > m_bestDistance) break;
        PolylineDistanceResult* r = Measure(c->referenceSegment, c->otherSegment);
        if (r->distance < m_bestDistance) {
            m_best = r;
            m_bestDistance = r->distance;
        }
        if (m_collect && r->distance <= m_bestDistance + m_tolerance) m_results.push_back(r);
    }
    std::stable_sort(m_results.begin(), m_results.end(),
                     [](const PolylineDistanceResult* a, const PolylineDistanceResult* b) {
                         return a->distance < b->distance;
                     });
    // Pairs kept while the best was larger may lie beyond the final minimum
    // plus the tolerance: the collected set is exactly those within it.
    m_resultCount = 0;
    while (m_resultCount < static_cast<int>(m_results.size()) &&
           (m_resultCount == 0 || m_results[m_resultCount]->distance <= m_bestDistance + m_tolerance))
        ++m_resultCount;
    m_results.resize(m_resultCount);
    return m_best;
}

int PolylineDistance::ComputeDistance(std::vector<Point3*>* other, int* referenceSegment, int* otherSegment,
                                      bool collectAll, double tolerance) {
    Reset();
    m_other = other;
    m_otherCount = other ? static_cast<int>(other->size()) : 0;
    m_referenceStart = referenceSegment;
    m_otherStart = otherSegment;
    m_collect = collectAll;
    m_tolerance = tolerance;
    m_referenceCount = m_reference ? static_cast<int>(m_reference->size()) : 0;

    MERROW1_REQUIRE(!std::isnan(tolerance) && tolerance >= 0, "DUE_TO_INVALID_TOLERANCE", 0);
    if (m_referenceCount < 2 || m_otherCount < 2) return 0;
    MERROW1_REQUIRE(all_points_present(*m_reference) && all_points_present(*other), "DUE_TO_NULL_POINT", 0);
    if (referenceSegment && otherSegment)
        MERROW1_REQUIRE(*referenceSegment >= 0 && *referenceSegment < m_referenceCount - 1 && *otherSegment >= 0 &&
                            *otherSegment < m_otherCount - 1,
                        "DUE_TO_START_SEGMENT_OUT_OF_RANGE", 0);

    m_pool = CMEM_private_create_pool(8, "PolylineDistance_workingPool", __LINE__, __FILE__);
    try {
        merrow1::run_converting([&] { return Run(); });
    } catch (...) {
        // No half-made results survive a failed computation.
        Reset();
        throw;
    }
    return m_resultCount;
}

PolylineDistanceResult* PolylineDistance::GetBestResult() { return m_best; }

PolylineDistanceResult* PolylineDistance::GetResult(int i) {
    return i >= 0 && i < m_resultCount ? m_results[i] : nullptr;
}

int PolylineDistance::GetResultCount() { return m_resultCount; }

}  // namespace Cam
}  // namespace Korvo
