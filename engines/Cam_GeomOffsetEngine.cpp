// Geometry offset engine.
//
// GetOffset, the core of every query:
//   1. a section engine from the host's demand loader, its pass begun;
//   2. the plane through the point across the direction (origin (d.p) d,
//      normal d), first reducing the geometry to a box around the point
//      while the box flag is set, then cut;
//   3. the cut into a new chain list in the work pool;
//   4. only the chain nearest the point kept;
//   5. that chain offset as a region (a union of the region set, its
//      implied offset the distance);
//   6. the pass closed and the engine deleted, also when an error passes,
//      which is then raised again.
#include <merrow1/Cam_GeomOffsetEngine.h>

#include <dunmore/demand_loader.h>
#include <merrow1/chain_closest.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_segments.h>
#include <stend/error.h>

#include <cmath>
#include <exception>
#include <memory>

#include "chain/chain_record.h"
#include "engines/engine_memory.h"
#include "engines/geomsec_pass.h"
#include "internal/check.h"

namespace Korvo {
namespace Cam {

using Korvo::Math::Point3;
using Korvo::Math::Vector3;

namespace {

const char kSingleRing[] = "RING_ask_type( pChain ) == RING_single";
const char kWorkPool[] = "m_pWorkPool != NULL";
const char kEngine[] = "pIGeomSec != NULL";
// The section engine simplifies the geometry to this part of the tolerance.
constexpr double kSimplifyPerTolerance = 0.1;
// The second pass for offset positions cuts a plane moved this part of the
// tolerance along the direction.
constexpr double kSecondCutStepPerTolerance = 0.1;

bool exceeds_number_tolerance(double value) { return std::fabs(value) > EQ_ask_number_tolerance(); }

using merrow1::first_chain;
using merrow1::main_of;

// The coordinate system of a chain, or of a list's first chain.
const CSYS* csys_of(const RING_header_s* ring) {
    const RING_header_s* chain = first_chain(ring);
    const CHAIN_main_data_s* md = chain && chain->type == RING_TYPE_CHAIN ? main_of(chain) : nullptr;
    return md ? &md->csys : nullptr;
}

// v in the rows' frame (to the chain) or back (to the world).
void rotate(const double m[9], const double v[3], bool toChain, double out[3]) {
    for (int i = 0; i < 3; ++i)
        out[i] = toChain ? m[3 * i] * v[0] + m[3 * i + 1] * v[1] + m[3 * i + 2] * v[2]
                         : m[i] * v[0] + m[3 + i] * v[1] + m[6 + i] * v[2];
}

double distance(const Point3& a, const Point3& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

}  // namespace

// ---------------------------------------------------------------------------
// The interface and its factories

IGeomOffsetEngine::~IGeomOffsetEngine() = default;

void* IGeomOffsetEngine::operator new(std::size_t size) { return merrow1::engine_allocate(size); }

void IGeomOffsetEngine::operator delete(void* p) { Korvo::Memory::CppMemory::free(p); }

IGeomOffsetEngine* IGeomOffsetEngine::GeomOffsetEngineFactory(const RING_header_s* geometry, double tolerance,
                                                              double offset) {
    GeomOffsetEngine* engine = nullptr;
    try {
        engine = new GeomOffsetEngine();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    engine->SetGeometry(geometry);
    engine->SetTolerance(tolerance);
    engine->SetOffsetDistance(offset);
    return engine;
}

IGeomOffsetEngine* IGeomOffsetEngine::GeomOffsetEngineFactory(const RING_header_s* geometry, double tolerance,
                                                              double offset, const Point3& start,
                                                              const Vector3& direction, const Point3& end,
                                                              int offsetDirection, double startExtension,
                                                              double endExtension) {
    IGeomOffsetEngine* engine = GeomOffsetEngineFactory(geometry, tolerance, offset);
    if (!engine) return nullptr;
    engine->SetStartPoint(start);
    engine->SetSectionDirection(direction);
    engine->SetEndPoint(end);
    engine->SetOffsetDirection(offsetDirection);
    engine->SetStartExtension(startExtension);
    engine->SetEndExtension(endExtension);
    return engine;
}

// ---------------------------------------------------------------------------
// Life and settings

GeomOffsetEngine::GeomOffsetEngine()
    : m_pGeomList(nullptr), m_dTolerance(0.0), m_dOffset(0.0), m_startPoint(), m_sectionDirection(), m_endPoint(),
      m_offsetDirection(0), m_startExtension(0.0), m_endExtension(0.0), m_boxFlag(false),
      m_pWorkPool(CMEM_private_create_pool(32, "Cam_GeomOffsetEngine Workpool", __LINE__, __FILE__)),
      m_sectionMark(0) {}

GeomOffsetEngine::~GeomOffsetEngine() {
    m_sectionMark = 0;
    m_pGeomList = nullptr;
    if (m_pWorkPool) CMEM_private_delete_pool(m_pWorkPool);
    m_pWorkPool = nullptr;
}

void GeomOffsetEngine::SetStartPoint(const Point3& point) { m_startPoint = point; }
void GeomOffsetEngine::SetSectionDirection(const Vector3& direction) { m_sectionDirection = direction; }
void GeomOffsetEngine::SetEndPoint(const Point3& point) { m_endPoint = point; }
void GeomOffsetEngine::SetOffsetDirection(int offsetDirection) { m_offsetDirection = offsetDirection; }
void GeomOffsetEngine::SetStartExtension(double extension) { m_startExtension = extension; }
void GeomOffsetEngine::SetEndExtension(double extension) { m_endExtension = extension; }
void GeomOffsetEngine::SetGeometry(const RING_header_s* geometry) { m_pGeomList = geometry; }
void GeomOffsetEngine::SetTolerance(double tolerance) { m_dTolerance = tolerance; }
void GeomOffsetEngine::SetOffsetDistance(double offset) { m_dOffset = offset; }

// ---------------------------------------------------------------------------
// Coordinates

Point3 GeomOffsetEngine::TransformPoint(const RING_header_s* chainOrList, const Point3& point, bool toChain) {
    const CSYS* csys = csys_of(chainOrList);
    if (!csys) return point;
    const double* o = csys->origin;
    double out[3];
    if (toChain) {
        const double v[3] = {point.x - o[0], point.y - o[1], point.z - o[2]};
        rotate(csys->matrix, v, true, out);
        return {out[0], out[1], out[2]};
    }
    const double v[3] = {point.x, point.y, point.z};
    rotate(csys->matrix, v, false, out);
    return {o[0] + out[0], o[1] + out[1], o[2] + out[2]};
}

void GeomOffsetEngine::TransformPoints(const RING_header_s* chainOrList, std::vector<Point3>& points, bool toChain) {
    for (Point3& p : points) p = TransformPoint(chainOrList, p, toChain);
}

void GeomOffsetEngine::TransformVectors(const RING_header_s* chainOrList, std::vector<Vector3>& vectors,
                                        bool toChain) {
    const CSYS* csys = csys_of(chainOrList);
    if (!csys) return;
    for (Vector3& v : vectors) {
        const double in[3] = {v.x, v.y, v.z};
        double out[3];
        rotate(csys->matrix, in, toChain, out);
        v = {out[0], out[1], out[2]};
    }
}

// ---------------------------------------------------------------------------
// The section pass

IGeomSec* GeomOffsetEngine::InitGeomSecEngine(const RING_header_s* geometry, double tolerance) {
    if (!MERROW1_ASSERT(geometry != nullptr, "pGeomList != NULL",
                        "GeomOffsetEngine::InitGeomSecEngine() - no input geometry"))
        return nullptr;
    IGeomSec* engine = DemandLoader::MakeGeomSec(geometry, tolerance, 10.0 * tolerance, nullptr);
    if (!engine) return nullptr;
    bool started = false;
    try {
        m_sectionMark = engine->PreSection();
        started = true;
        engine->BeginSection();
    } catch (...) {
        std::exception_ptr error = merrow1::current_error_as_severe();
        merrow1::close_section_pass(engine, started ? &m_sectionMark : nullptr);
        std::rethrow_exception(error);
    }
    return engine;
}

bool GeomOffsetEngine::CalculateSections(IGeomSec* engine, const Point3& p, const Vector3& d) {
    if (!MERROW1_ASSERT(engine != nullptr, kEngine, "GeomOffsetEngine::CalculateSections() - invalid IGeomSec supplied."))
        return false;
    const double along = d.x * p.x + d.y * p.y + d.z * p.z;
    const zql::Plane plane(zql::Point3d(along * d.x, along * d.y, along * d.z), zql::Vector3d(d.x, d.y, d.z));
    // The box's size is 4 x |offset| on either side of the offset: a negative
    // offset lies as far from the section as a positive one.
    if (m_boxFlag && exceeds_number_tolerance(m_dOffset)) SimplifyBox(engine, plane, p, 4.0 * std::fabs(m_dOffset));
    engine->SimplifyAndSection(plane, 10, kSimplifyPerTolerance * m_dTolerance);
    return true;
}

bool GeomOffsetEngine::SimplifyBox(IGeomSec* engine, const zql::Plane& plane, const Point3& p, double size) {
    if (!MERROW1_ASSERT(engine != nullptr, kEngine, "GeomOffsetEngine::SimplifyBox() - invalid IGeomSec supplied."))
        return false;
    if (!MERROW1_ASSERT(size > 0.0, "dBoxSize > 0.0", "GeomOffsetEngine::SimplifyBox() - invalid dBoxSize supplied."))
        return false;
    const zql::Vector3d n = plane.normal();
    const zql::Vector3d x = plane.xAxis().unit() * size;
    const zql::Vector3d y = n.cross(plane.xAxis()).unit() * size;
    const zql::Point3d q(p.x, p.y, p.z);
    const zql::Point3d c = q - n * plane.distance(q) - n;
    const zql::Point3d corners[4] = {c - x, c - y, c + x, c + y};
    double box[12];
    for (int i = 0; i < 4; ++i) {
        box[3 * i] = corners[i].x();
        box[3 * i + 1] = corners[i].y();
        box[3 * i + 2] = corners[i].z();
    }
    engine->Simplify(box, nullptr, nullptr);
    engine->CompleteSimplify(nullptr);
    return true;
}

RING_header_s* GeomOffsetEngine::GetOffset(const Point3& p, const Vector3& d, double offset) {
    if (!MERROW1_ASSERT(m_pWorkPool != nullptr, kWorkPool, "GeomOffsetEngine::GetOffset() - invalid work pool."))
        return nullptr;
    IGeomSec* engine = InitGeomSecEngine(m_pGeomList, m_dTolerance);
    if (!engine) return nullptr;
    RING_header_s* list = nullptr;
    std::exception_ptr error;
    try {
        CalculateSections(engine, p, d);
        list = RING_create_in_pool(nullptr, RING_TYPE_LIST, m_pWorkPool);
        engine->Output(list);
        FilterOnClosest(list, p);
        if (exceeds_number_tolerance(offset)) Offset(&list, offset);
    } catch (...) {
        error = merrow1::current_error_as_severe();
    }
    std::exception_ptr closing = merrow1::close_section_pass(engine, &m_sectionMark);
    if (!error) error = closing;
    if (error) {
        RING_delete(list);
        std::rethrow_exception(error);
    }
    // A plane that misses the geometry, or an offset that vanishes.
    if (!list->first) {
        RING_delete(list);
        return nullptr;
    }
    return list;
}

// ---------------------------------------------------------------------------
// Filters and the offset

bool GeomOffsetEngine::FilterOnClosest(RING_header_s* list, const Point3& p) {
    if (!MERROW1_ASSERT(list && list->type == RING_TYPE_LIST, "RING_ask_type( pSections ) == RING_double",
                        "GeomOffsetEngine::FilterOnClosest() - input ring should be a double ring"))
        return false;
    if (list->count < 2) return false;
    const Point3 q = TransformPoint(list, p, true);
    const double point[2] = {q.x, q.y};
    POINT_ON_CHAIN_s nearest{};
    ChainsPointMinDistance(list, point, &nearest);
    if (!nearest.chain) return false;
    RING_node_s* node = list->first;
    for (int i = 0, n = list->count; i < n && node; ++i) {
        RING_node_s* next = node->next;
        if (RING_ask_node_subring(node) != nearest.chain) RING_delete_node(list, node);
        node = next;
    }
    return true;
}

bool GeomOffsetEngine::FilterOnDistance(const Point3& p, double limit, std::vector<Point3>& positions,
                                        std::vector<Vector3>& directions) {
    if (!MERROW1_ASSERT(positions.size() == directions.size(), "vecPoints.size() == vecDirections.size()",
                        "GeomOffsetEngine::FilterOnDistance() - non synchronized vectors."))
        return false;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        if (distance(positions[i], p) >= limit) continue;
        positions[kept] = positions[i];
        directions[kept] = directions[i];
        ++kept;
    }
    positions.resize(kept);
    directions.resize(kept);
    return true;
}

bool GeomOffsetEngine::Offset(RING_header_s** plist, double offset) {
    if (!MERROW1_ASSERT(m_pWorkPool != nullptr, kWorkPool, "GeomOffsetEngine::Offset() - invalid work pool."))
        return false;
    if (!MERROW1_ASSERT(exceeds_number_tolerance(offset), "!EQ_is_zero( dGeomOffset, EQ_TOL_NUMBER )",
                        "GeomOffsetEngine::Offset() is called with zero offset."))
        return false;
    RING_header_s* list = plist ? *plist : nullptr;
    if (!list || !list->first || !list->last) return false;
    RING_header_s* result = RING_create_in_pool(nullptr, RING_TYPE_LIST, m_pWorkPool);
    RING_header_s* set = CHAIN_create_boolean_set(m_pWorkPool, nullptr);
    try {
        CHAIN_append_region_set(set, list, 0, m_boxFlag ? 9u : 1u, offset, false, false);
        CHAIN_union_regions(set, 0, false, nullptr, nullptr, nullptr, result);
        CHAIN_set_implied_offset_for_set(result, 0.0, false);
        CHAIN_decouple_boolean_set(result, list);
    } catch (...) {
        std::exception_ptr error = merrow1::current_error_as_severe();
        RING_delete(set);
        RING_delete(result);
        std::rethrow_exception(error);
    }
    RING_delete(list);
    *plist = result;
    RING_delete(set);
    return true;
}

// ---------------------------------------------------------------------------
// Queries

RING_header_s* GeomOffsetEngine::GetOrientedOffset(const Point3& p, const Vector3& d, int offsetDirection) {
    RING_header_s* result = GetOffset(p, d, m_dOffset);
    if (result && result->first) UpdateOffsetDirection(&result, offsetDirection);
    return result;
}

bool GeomOffsetEngine::UpdateOffsetDirection(RING_header_s** plist, int offsetDirection) {
    RING_header_s* list = plist ? *plist : nullptr;
    if (!MERROW1_ASSERT(list && list->type == RING_TYPE_LIST, "RING_ask_type( pOffset ) == RING_double",
                        "GeomOffsetEngine::UpdateOffsetDirection() - input ring should be a double ring"))
        return false;
    if (offsetDirection == 0) return false;
    RING_node_s* node = list->first;
    for (int i = 0; i < list->count && node; ++i, node = node->next) {
        RING_header_s* chain = RING_ask_node_subring(node);
        if (!chain) continue;
        const DIRECTION turn = CHAIN_direction_of_chain(chain);
        if ((turn == CCW && offsetDirection != 1) || (turn == CW && offsetDirection != 2)) CHAIN_reverse(chain);
    }
    return true;
}

bool GeomOffsetEngine::GetOffsetClosestPositions(RING_header_s* chain, const Point3& p, std::vector<Point3>& positions,
                                                 std::vector<Vector3>& directions) {
    if (!MERROW1_ASSERT(!chain || chain->type == RING_TYPE_CHAIN, kSingleRing,
                        "GeomOffsetEngine::GetOffsetClosestPositions() - input ring should be a single ring (chain)"))
        return false;
    if (!chain || !chain->first) return false;
    std::vector<Point3> points;
    std::vector<Vector3> tangents;
    ChainClosestPointVectorList(chain, TransformPoint(chain, p, true), points, tangents);
    TransformPoints(chain, points, false);
    TransformVectors(chain, tangents, false);
    positions.insert(positions.end(), points.begin(), points.end());
    directions.insert(directions.end(), tangents.begin(), tangents.end());
    return true;
}

bool GeomOffsetEngine::GetOffsetPositions(const Point3& p, const Vector3& d, bool local, std::vector<Point3>& positions,
                                          std::vector<Vector3>& directions) {
    // The box flag is on for this call only, also when an error passes.
    struct BoxFlag {
        bool& flag;
        ~BoxFlag() { flag = false; }
    } box{m_boxFlag};
    m_boxFlag = local;
    bool answer = false;
    for (int k = 0; k < 2; ++k) {
        const double step = k * kSecondCutStepPerTolerance * m_dTolerance;
        const Point3 q = {p.x + step * d.x, p.y + step * d.y, p.z + step * d.z};
        std::unique_ptr<RING_header_s, void (*)(RING_header_s*)> result(GetOffset(q, d, m_dOffset), RING_delete);
        if (!result || !result->first) continue;
        std::vector<Point3> found;
        std::vector<Vector3> tangents;
        answer = GetOffsetClosestPositions(first_chain(result.get()), q, found, tangents);
        // Positions are kept near the point whichever side the offset runs.
        if (local) FilterOnDistance(q, 1.01 * std::fabs(m_dOffset), found, tangents);
        for (std::size_t i = 0; i < found.size(); ++i) {
            bool seen = false;
            for (const Point3& known : positions) seen = seen || distance(known, found[i]) <= m_dTolerance;
            if (seen) continue;
            positions.push_back(found[i]);
            directions.push_back(tangents[i]);
        }
    }
    return answer;
}

// ---------------------------------------------------------------------------
// Trim and extension

GeomOffsetEngine::TrimResult GeomOffsetEngine::TrimChain(RING_header_s** chain, const Point3& start,
                                                         const Point3& end) {
    RING_header_s* whole = *chain;
    std::vector<POINT_ON_CHAIN_s> starts, ends;
    ChainClosestPointOnChainList(whole, TransformPoint(whole, start, true), starts);
    ChainClosestPointOnChainList(whole, TransformPoint(whole, end, true), ends);
    if (starts.empty() || ends.empty()) return TrimResult::NoNearestPoint;
    POINT_ON_CHAIN_s from = starts.back(), to = ends.front();
    PART_OF_CHAIN_s part{};
    if (!CreatePartOfChain(&part, &from, &to)) return TrimResult::NoPart;
    RING_header_s* piece = CHAIN_create_chain_from_part_of_chain(&part, nullptr, m_pWorkPool);
    // Fewer than two vertices: the chain stays as it is.
    if (!piece) return TrimResult::NoPart;
    RING_delete(whole);
    *chain = piece;
    return TrimResult::Trimmed;
}

bool GeomOffsetEngine::Trim(RING_header_s** chain, const Point3& start, const Point3& end) {
    RING_header_s* whole = chain ? *chain : nullptr;
    if (!MERROW1_ASSERT(whole && whole->type == RING_TYPE_CHAIN, kSingleRing,
                        "GeomOffsetEngine::Trim() - input ring should be a single ring (chain)"))
        return false;
    if (!MERROW1_ASSERT(m_pWorkPool != nullptr, kWorkPool, "GeomOffsetEngine::Trim() - invalid work pool."))
        return false;
    return TrimChain(chain, start, end) == TrimResult::Trimmed;
}

bool GeomOffsetEngine::Extend(RING_header_s** chain, double startExtension, double endExtension) {
    RING_header_s* open = chain ? *chain : nullptr;
    if (!open) return true;
    if (!MERROW1_ASSERT(open->type == RING_TYPE_CHAIN, kSingleRing,
                        "GeomOffsetEngine::Extend() - input ring should be a single ring (chain)"))
        return false;
    bool ok = true;
    if (exceeds_number_tolerance(startExtension)) ok = ChainExtend(open, startExtension, CHAIN_EXTEND_START) == 1 && ok;
    if (exceeds_number_tolerance(endExtension)) ok = ChainExtend(open, endExtension, CHAIN_EXTEND_END) == 1 && ok;
    return ok;
}

RING_header_s* GeomOffsetEngine::GetTrimmedOffset() {
    return GetTrimmedOffset(m_startPoint, m_sectionDirection, m_endPoint, m_offsetDirection, m_startExtension,
                            m_endExtension);
}

RING_header_s* GeomOffsetEngine::GetTrimmedOffset(const Point3& p, const Vector3& d, const Point3& end,
                                                  int offsetDirection, double startExtension, double endExtension) {
    if (!m_pGeomList) return nullptr;
    RING_header_s* result = GetOffset(p, d, m_dOffset);
    if (!result || !result->first) return nullptr;
    UpdateOffsetDirection(&result, offsetDirection);
    RING_node_s* node = result->type == RING_TYPE_LIST ? result->first : nullptr;
    RING_header_s* chain = first_chain(result);
    if (!MERROW1_ASSERT(chain && chain->type == RING_TYPE_CHAIN, kSingleRing,
                        "GeomOffsetEngine::Trim() - input ring should be a single ring (chain)"))
        return nullptr;
    const TrimResult trimmed = TrimChain(&chain, p, end);
    // The list names the trimmed chain, never the one the trim deleted.
    if (trimmed == TrimResult::Trimmed && node) RING_set_node_subring(node, chain);
    if (trimmed == TrimResult::NoPart) return nullptr;
    Extend(&chain, startExtension, endExtension);
    return chain;
}

}  // namespace Cam
}  // namespace Korvo
