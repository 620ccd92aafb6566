// The demand loader stand-in and its recording section engine.
#include <dunmore/demand_loader.h>
#include <dunmore/testing.h>

#include <merrow1/IGeomSec.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <stend/error.h>
#include <velte/cmem.h>
#include <velte/ring.h>
#include <zql/zql.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <new>
#include <utility>

namespace {

const double kPi = 3.14159265358979323846;
const double kCoincident = 1e-12;

struct Solid {
    bool cylinder;
    double a[3];  // box: min corner; cylinder: base point
    double b[3];  // box: max corner; cylinder: unit axis
    double radius;
    double height;
};

std::multimap<const void*, Solid> g_solids;
std::vector<dunmore_test::LoaderCall> g_loader_calls;
std::vector<dunmore_test::Call> g_calls;
std::vector<std::string> g_violations;
bool g_loader_null = false;
std::string g_fail_op;
int g_fail_code = 0;
long g_live = 0;
int g_serial = 0;
int g_next_mark = 100;

zql::Vector3d vec(const double v[3]) { return {v[0], v[1], v[2]}; }
zql::Point3d pnt(const double v[3]) { return {v[0], v[1], v[2]}; }

std::vector<double> plane_numbers(const zql::Plane& plane) {
    const zql::Point3d& o = plane.origin();
    const zql::Vector3d& n = plane.normal();
    const zql::Vector3d& x = plane.xAxis();
    return {o.x(), o.y(), o.z(), n.x(), n.y(), n.z(), x.x(), x.y(), x.z()};
}

// A new chain of the section in the list's pool, made by the library (whose
// chains the caller reads): its CSYS the plane's origin and axes; CCW, material
// LEFT (inside), SAMPLE_CHAIN.
RING_header_s* new_chain(const zql::Plane& plane, CMEM_pool_s* pool) {
    const zql::Vector3d x = plane.xAxis(), y = plane.yAxis(), n = plane.normal();
    const CSYS csys = {{plane.origin().x(), plane.origin().y(), plane.origin().z()},
                       {x.x(), x.y(), x.z(), y.x(), y.y(), y.z(), n.x(), n.y(), n.z()}};
    RING_header_s* chain = CHAIN_create_from_csys(&csys, pool);
    auto* data = static_cast<CHAIN_main_data_s*>(chain->main_data);
    data->material_side = LEFT;
    data->direction = CCW;
    data->kind = SAMPLE_CHAIN;
    return chain;
}

void close_chain(RING_header_s* chain) {
    chain->last->next = chain->first;
    chain->first->previous = chain->last;
}

// The convex polygon of the points (in plane coordinates), CCW.
RING_header_s* polygon_chain(std::vector<std::pair<double, double>> pts, const zql::Plane& plane, CMEM_pool_s* pool) {
    double cu = 0, cv = 0;
    for (const auto& p : pts) cu += p.first, cv += p.second;
    cu /= pts.size();
    cv /= pts.size();
    std::sort(pts.begin(), pts.end(), [cu, cv](const std::pair<double, double>& a, const std::pair<double, double>& b) {
        return std::atan2(a.second - cv, a.first - cu) < std::atan2(b.second - cv, b.first - cu);
    });
    RING_header_s* chain = new_chain(plane, pool);
    for (const auto& p : pts) {
        const end_segment end = {p.first, p.second, 0.0, 0.0, 0.0, 0};
        ChainAppendVertexGeneral(chain, &end, SEG_LINE, 1);
    }
    close_chain(chain);
    return chain;
}

// The cut of a box: the plane crosses its 12 edges (an edge lying in the
// plane gives both ends).
RING_header_s* box_section(const Solid& s, const zql::Plane& plane, CMEM_pool_s* pool) {
    std::vector<zql::Point3d> corners;
    for (int i = 0; i < 8; ++i)
        corners.emplace_back((i & 1) ? s.b[0] : s.a[0], (i & 2) ? s.b[1] : s.a[1], (i & 4) ? s.b[2] : s.a[2]);
    std::vector<zql::Point3d> hits;
    auto add = [&hits](const zql::Point3d& p) {
        for (const zql::Point3d& q : hits)
            if ((p - q).length() <= kCoincident) return;
        hits.push_back(p);
    };
    for (int i = 0; i < 8; ++i) {
        for (int bit = 1; bit < 8; bit <<= 1) {
            if (i & bit) continue;
            const zql::Point3d& p = corners[i];
            const zql::Point3d& q = corners[i | bit];
            const double dp = plane.distance(p), dq = plane.distance(q);
            if (std::fabs(dp) <= kCoincident) add(p);
            if (std::fabs(dq) <= kCoincident) add(q);
            if ((dp < -kCoincident && dq > kCoincident) || (dp > kCoincident && dq < -kCoincident))
                add(p + (q - p) * (dp / (dp - dq)));
        }
    }
    if (hits.size() < 3) return nullptr;
    std::vector<std::pair<double, double>> pts;
    for (const zql::Point3d& h : hits) {
        const zql::Vector3d d = h - plane.origin();
        pts.emplace_back(d.dot(plane.xAxis()), d.dot(plane.yAxis()));
    }
    return polygon_chain(pts, plane, pool);
}

// The cut of a cylinder across its axis: a circle of three CCW arcs, the
// first ending at the angle 0 of the plane's X axis.
RING_header_s* cylinder_section(const Solid& s, const zql::Plane& plane, CMEM_pool_s* pool) {
    const zql::Vector3d axis = vec(s.b);
    const double along = axis.dot(plane.normal());
    if (axis.cross(plane.normal()).length() > 1e-9) return nullptr;
    const double t = (plane.origin() - pnt(s.a)).dot(plane.normal()) / along;
    if (t < 0.0 || t > s.height) return nullptr;
    const zql::Vector3d d = (pnt(s.a) + axis * t) - plane.origin();
    const double cu = d.dot(plane.xAxis()), cv = d.dot(plane.yAxis());
    RING_header_s* chain = new_chain(plane, pool);
    for (int k = 0; k < 3; ++k) {
        const double angle = 2.0 * kPi * k / 3.0;
        const end_segment end = {cu + s.radius * std::cos(angle), cv + s.radius * std::sin(angle), cu, cv,
                                 s.radius, CCW};
        ChainAppendVertexGeneral(chain, &end, SEG_ARC, 1);
    }
    close_chain(chain);
    return chain;
}

class FakeGeomSec : public Korvo::Cam::IGeomSec {
public:
    explicit FakeGeomSec(std::vector<Solid> solids) : m_id(++g_serial), m_solids(std::move(solids)) { ++g_live; }
    ~FakeGeomSec() override {
        g_calls.push_back({m_id, "delete", {}, {}, nullptr});
        if (m_started && !m_ended) violation("delete before PostSection");
        --g_live;
    }
    FakeGeomSec(const FakeGeomSec&) = delete;
    FakeGeomSec& operator=(const FakeGeomSec&) = delete;

    void SetAccuracy(double accuracy) override { record("SetAccuracy", {accuracy}); }
    int PreSection() override {
        if (m_started) violation("PreSection twice");
        record("PreSection", {}, {}, nullptr, false);
        m_started = true;
        m_mark = g_next_mark++;
        return m_mark;
    }
    bool Attribute(RING_header_s* const geometry, const char*, double value) override {
        record("Attribute", {value}, {}, geometry);
        return false;
    }
    bool AttributeOutputCB(const char*, AttrCallback, void* client, AttrCBMode mode) override {
        record("AttributeOutputCB", {}, {mode}, client);
        return false;
    }
    bool AttributeAvoid(int count, const unsigned* faces) override {
        record("AttributeAvoid", {}, {count}, faces);
        return false;
    }
    int ReservedA() override { return record("ReservedA"), 0; }
    int ReservedB() override { return record("ReservedB"), 0; }
    int BeginSection() override { return record("BeginSection"), 0; }
    int ReservedC() override { return record("ReservedC"), 0; }
    int Simplify(const double* const box, void* reserved1, void* reserved2) override {
        std::vector<double> numbers;
        if (box) numbers.assign(box, box + 12);
        record("Simplify(box)", numbers, {reserved2 != nullptr}, reserved1);
        return 0;
    }
    int Simplify(const zql::Plane& plane, int attempts, double step) override {
        std::vector<double> numbers = plane_numbers(plane);
        numbers.push_back(step);
        record("Simplify(plane)", numbers, {attempts});
        return 0;
    }
    int Section(const zql::Plane& plane) override {
        record("Section", plane_numbers(plane));
        m_cut = true;
        m_plane = plane;
        return 0;
    }
    int SimplifyAndSection(const zql::Plane& plane, int attempts, double step) override {
        std::vector<double> numbers = plane_numbers(plane);
        numbers.push_back(step);
        record("SimplifyAndSection", numbers, {attempts});
        m_cut = true;
        m_plane = plane;
        return 0;
    }
    int Isocline(const zql::Vector3d& direction, double angle) override {
        record("Isocline", {direction.x(), direction.y(), direction.z(), angle});
        return 0;
    }
    int Output(RING_header_s* list) override {
        record("Output", {}, {}, list);
        if (!list || list->type != RING_TYPE_LIST) {
            violation("Output into a ring that is not a chain list");
            return 1;
        }
        if (list->first) violation("Output into a non-empty list");
        if (!m_cut) return 0;
        for (const Solid& s : m_solids) {
            RING_header_s* chain = s.cylinder ? cylinder_section(s, m_plane, list->pool)
                                              : box_section(s, m_plane, list->pool);
            if (chain) RING_insert_after(list, list->last, chain);
        }
        return 0;
    }
    int OutputAttr(RING_header_s* list, const char*) override { return record("OutputAttr", {}, {}, list), 0; }
    int Output3dSets(RING_header_s* list) override { return record("Output3dSets", {}, {}, list), 0; }
    void PostSection(const int* mark) override {
        if (m_started && !m_ended && (!mark || *mark != m_mark)) violation("PostSection without the mark of PreSection");
        record("PostSection", {}, {mark ? *mark : 0}, mark, true, true);
    }
    int CompleteSimplify(void* reserved) override { return record("CompleteSimplify", {}, {}, reserved), 0; }
    int ReservedD() override { return record("ReservedD"), 0; }

private:
    void violation(const std::string& what) { g_violations.push_back("engine " + std::to_string(m_id) + ": " + what); }
    // Records the call, checks the order (`ends`: the call ends the pass,
    // also when it then raises), then raises an injected error.
    void record(const std::string& op, std::vector<double> numbers = {}, std::vector<long> ints = {},
                const void* pointer = nullptr, bool needs_start = true, bool ends = false) {
        g_calls.push_back({m_id, op, std::move(numbers), std::move(ints), pointer});
        if (m_ended) violation(op + " after PostSection");
        else if (needs_start && !m_started) violation(op + " before PreSection");
        if (ends) m_ended = true;
        if (!g_fail_op.empty() && g_fail_op == op) {
            g_fail_op.clear();
            throw Korvo::Error::Severe(g_fail_code, "dunmore: error injected at " + op);
        }
    }

    int m_id;
    std::vector<Solid> m_solids;
    bool m_started = false;
    bool m_ended = false;
    bool m_cut = false;
    int m_mark = 0;
    zql::Plane m_plane;
};

}  // namespace

namespace Korvo {
namespace Cam {

IGeomSec* DemandLoader::MakeGeomSec(const RING_header_s* geometry, double accuracy, double factor, void* context) {
    g_loader_calls.push_back({geometry, accuracy, factor, context});
    if (g_loader_null) return nullptr;
    std::vector<Solid> solids;
    const RING_node_s* node = geometry ? geometry->first : nullptr;
    for (int i = 0; geometry && node && i < geometry->count; ++i, node = node->next) {
        auto range = g_solids.equal_range(node->main_data);
        for (auto it = range.first; it != range.second; ++it) solids.push_back(it->second);
    }
    return new (std::nothrow) FakeGeomSec(std::move(solids));
}

}  // namespace Cam
}  // namespace Korvo

namespace dunmore_test {

void add_box(const void* item, const double min[3], const double max[3]) {
    Solid s{false, {min[0], min[1], min[2]}, {max[0], max[1], max[2]}, 0.0, 0.0};
    g_solids.emplace(item, s);
}

void add_cylinder(const void* item, const double base[3], const double axis[3], double radius, double height) {
    const zql::Vector3d u = vec(axis).unit();
    Solid s{true, {base[0], base[1], base[2]}, {u.x(), u.y(), u.z()}, radius, height};
    g_solids.emplace(item, s);
}

const std::vector<LoaderCall>& loader_calls() { return g_loader_calls; }
const std::vector<Call>& calls() { return g_calls; }
std::vector<std::string> ops() {
    std::vector<std::string> out;
    for (const Call& c : g_calls) out.push_back(c.op);
    return out;
}
const std::vector<std::string>& violations() { return g_violations; }
void set_loader_returns_null(bool on) { g_loader_null = on; }
void fail_at(const std::string& op, int code) {
    g_fail_op = op;
    g_fail_code = code;
}
long live_engines() { return g_live; }

void reset() {
    g_solids.clear();
    g_loader_calls.clear();
    g_calls.clear();
    g_violations.clear();
    g_loader_null = false;
    g_fail_op.clear();
    g_fail_code = 0;
    g_serial = 0;
    g_next_mark = 100;
}

}  // namespace dunmore_test
