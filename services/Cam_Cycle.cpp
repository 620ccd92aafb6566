// Contour tables of machining cycles over the host operation's array
// parameters.
#include <merrow1/Cam_Cycle.h>

#include <pellam/opr.h>
#include <stend/sm_persistent.h>

#include <climits>
#include <memory>
#include <new>

namespace Korvo {
namespace Cam {

namespace {

// Parameters of the stored table: entry kinds, then the six doubles of each
// entry (end x, y, z, centre x, y, z).
const int kKindParam = 1650;
const int kFirstValueParam = 1651;
const int kValueParams = 6;

// Entry kinds that start a contour: -1 blank, -2 part, -3 island.
int start_kind(ICycle::ContourType type) { return -(static_cast<int>(type) + 1); }

const Korvo::Math::Point3 kZero = {0.0, 0.0, 0.0};

// The seven arrays of the stored form, in persistent memory; freed on every
// path.
struct TableArrays {
    int* kinds = nullptr;
    double* values[kValueParams] = {};

    TableArrays() = default;
    TableArrays(const TableArrays&) = delete;
    TableArrays& operator=(const TableArrays&) = delete;
    ~TableArrays() {
        SM_free_persistent(kinds);
        for (double* v : values) SM_free_persistent(v);
    }
    // False when any allocation fails (what was made is freed with the holder).
    bool allocate(std::size_t n) {
        kinds = static_cast<int*>(SM_alloc_persistent(n * sizeof(int)));
        if (!kinds) return false;
        for (double*& v : values) {
            v = static_cast<double*>(SM_alloc_persistent(n * sizeof(double)));
            if (!v) return false;
        }
        return true;
    }
};

}  // namespace

Cycle::Cycle(OPR* operation) : m_operation(operation) {}

void* Cycle::operator new(std::size_t size) {
    void* p = Korvo::Memory::CppMemory::allocate(size);
    if (!p) throw std::bad_alloc();
    return p;
}

void Cycle::operator delete(void* memory) { Korvo::Memory::CppMemory::free(memory); }

const Cycle::ContourList* Cycle::List(ContourType type) const {
    switch (type) {
    case BlankContour: return &m_blank;
    case PartContour: return &m_part;
    case IslandContour: return &m_island;
    }
    return nullptr;
}

Cycle::ContourList* Cycle::List(ContourType type) {
    return const_cast<ContourList*>(static_cast<const Cycle*>(this)->List(type));
}

// The contour a handle names, or null (a negative index counts as too large).
const Cycle::Contour* Cycle::Find(const ContourHandle& handle) const {
    const ContourList* list = List(handle.type);
    if (!list || static_cast<unsigned>(handle.index) >= list->size()) return nullptr;
    return &(*list)[static_cast<std::size_t>(handle.index)];
}

const Cycle::ContourSegment* Cycle::FindSegment(const ContourHandle& handle, int segment) const {
    const Contour* contour = Find(handle);
    if (segment < 0 || !contour || contour->empty() || static_cast<std::size_t>(segment) >= contour->size())
        return nullptr;
    return &(*contour)[static_cast<std::size_t>(segment)];
}

void Cycle::DeleteContourTable() {
    m_blank.clear();
    m_part.clear();
    m_island.clear();
}

void Cycle::PushContour(ContourType type, const Contour& contour) { List(type)->push_back(contour); }

void Cycle::SetContourSegment(int type, double ex, double ey, double ez, double cx, double cy, double cz,
                              ContourSegment& segment) {
    segment.type = static_cast<SegmentType>(type);
    segment.end = {ex, ey, ez};
    if (type == ClockwiseArcSegment || type == CounterClockwiseArcSegment)
        segment.centre = {cx, cy, cz};
    else
        segment.centre = kZero;
}

void Cycle::ClearContourTable() { DeleteContourTable(); }

int Cycle::GetNumberOfBlankContours() const { return static_cast<int>(m_blank.size()); }
int Cycle::GetNumberOfPartContours() const { return static_cast<int>(m_part.size()); }
int Cycle::GetNumberOfIslandContours() const { return static_cast<int>(m_island.size()); }

void Cycle::SetPartContourHandle(int index, ContourHandle& handle) const { handle = {PartContour, index}; }
void Cycle::SetBlankContourHandle(int index, ContourHandle& handle) const { handle = {BlankContour, index}; }
void Cycle::SetIslandContourHandle(int index, ContourHandle& handle) const { handle = {IslandContour, index}; }

int Cycle::GetNumberOfSegments(const ContourHandle& handle) const {
    const Contour* contour = Find(handle);
    return contour ? static_cast<int>(contour->size()) : -1;
}

bool Cycle::GetSegmentType(const ContourHandle& handle, int segment, SegmentType& type) const {
    type = LineSegment;
    const ContourSegment* s = FindSegment(handle, segment);
    if (s) type = s->type;
    return s != nullptr;
}

bool Cycle::GetSegmentEndPoint(const ContourHandle& handle, int segment, Point3& point) const {
    return SegmentPoint(handle, segment, &ContourSegment::end, point);
}

bool Cycle::GetSegmentCenterPoint(const ContourHandle& handle, int segment, Point3& point) const {
    return SegmentPoint(handle, segment, &ContourSegment::centre, point);
}

// One point of a segment; (0, 0, 0) and false when there is no such segment.
bool Cycle::SegmentPoint(const ContourHandle& handle, int segment, Point3 ContourSegment::*which,
                         Point3& point) const {
    point = kZero;
    const ContourSegment* s = FindSegment(handle, segment);
    if (s) point = s->*which;
    return s != nullptr;
}

// A segment starts where the one before it ends; the first at its own end
// (the contour's start point).
bool Cycle::GetSegmentStartPoint(const ContourHandle& handle, int segment, Point3& point) const {
    point = kZero;
    return GetSegmentEndPoint(handle, segment == 0 ? 0 : segment - 1, point);
}

bool Cycle::GetContourStartPoint(const ContourHandle& handle, Point3& point) const {
    return GetSegmentEndPoint(handle, 0, point);
}

bool Cycle::GetContourEndPoint(const ContourHandle& handle, Point3& point) const {
    return GetSegmentEndPoint(handle, GetNumberOfSegments(handle) - 1, point);
}

bool Cycle::GetSegment(const ContourHandle& handle, int segment, SegmentType& type, Point3& end,
                       Point3& centre) const {
    type = LineSegment;
    end = kZero;
    centre = kZero;
    return GetSegmentType(handle, segment, type) && GetSegmentEndPoint(handle, segment, end) &&
           GetSegmentCenterPoint(handle, segment, centre);
}

void Cycle::NewBlankContour() { m_blank.emplace_back(); }
void Cycle::NewPartContour() { m_part.emplace_back(); }
void Cycle::NewIslandContour() { m_island.emplace_back(); }

bool Cycle::AppendSegment(const ContourHandle& handle, SegmentType type, const Point3& end, const Point3& centre) {
    ContourList* list = List(handle.type);
    if (!list || static_cast<unsigned>(handle.index) >= list->size()) return false;
    (*list)[static_cast<std::size_t>(handle.index)].push_back({type, end, centre});
    return true;
}

bool Cycle::AppendPointSegment(const ContourHandle& handle, const Point3& point) {
    return AppendSegment(handle, PointSegment, point, kZero);
}

bool Cycle::AppendLineSegment(const ContourHandle& handle, const Point3& end) {
    return AppendSegment(handle, LineSegment, end, kZero);
}

bool Cycle::AppendClockwiseArcSegment(const ContourHandle& handle, const Point3& end, const Point3& centre) {
    return AppendSegment(handle, ClockwiseArcSegment, end, centre);
}

bool Cycle::AppendCounterClockwiseArcSegment(const ContourHandle& handle, const Point3& end, const Point3& centre) {
    return AppendSegment(handle, CounterClockwiseArcSegment, end, centre);
}

// Stored form: per contour with segments a start entry (kind -1, -2 or -3,
// doubles 0), then one entry per segment (kind 1, 2 or 3 for lines and arcs,
// 0 for anything else).  A contour without segments writes nothing, so a
// table of empty contours stores seven empty arrays.
bool Cycle::SaveContourTable() const {
    const ContourType kinds[] = {BlankContour, PartContour, IslandContour};
    std::size_t n = 0;
    for (ContourType kind : kinds)
        for (const Contour& c : *List(kind)) n += 1 + c.size();
    if (n > static_cast<std::size_t>(INT_MAX)) return false;

    TableArrays arrays;
    if (!arrays.allocate(n)) return false;
    std::size_t filled = 0;
    auto put = [&](int kind, const Point3& end, const Point3& centre) {
        arrays.kinds[filled] = kind;
        const double values[kValueParams] = {end.x, end.y, end.z, centre.x, centre.y, centre.z};
        for (int k = 0; k < kValueParams; ++k) arrays.values[k][filled] = values[k];
        ++filled;
    };
    for (ContourType kind : kinds)
        for (const Contour& contour : *List(kind)) {
            if (contour.empty()) continue;
            put(start_kind(kind), kZero, kZero);
            for (const ContourSegment& s : contour) {
                bool known = s.type == LineSegment || s.type == ClockwiseArcSegment ||
                             s.type == CounterClockwiseArcSegment;
                put(known ? static_cast<int>(s.type) : 0, s.end, s.centre);
            }
        }

    const int length = static_cast<int>(filled);
    bool written = OPR_set_int_array_param(m_operation, kKindParam, arrays.kinds, length) != 0;
    for (int k = 0; k < kValueParams; ++k)
        written = OPR_set_double_array_param(m_operation, kFirstValueParam + k, arrays.values[k], length) != 0 &&
                  written;
    return written;
}

// Reads the seven parameters (each must hold the same number of entries) and
// walks the entries: a start entry pushes the contour in progress under its
// kind and starts the next one; a segment entry of kind 0 to 3 is appended to
// the contour in progress.  Segments before the first start entry are
// dropped, and so are entries of unknown kind.
bool Cycle::LoadContourTable() {
    DeleteContourTable();
    const int n = OPR_ask_array_param_length(m_operation, kKindParam);
    if (n < 1) return true;
    for (int k = 0; k < kValueParams; ++k)
        if (OPR_ask_array_param_length(m_operation, kFirstValueParam + k) != n) return false;

    TableArrays arrays;
    if (!arrays.allocate(static_cast<std::size_t>(n))) return false;
    if (OPR_ask_int_array_param(m_operation, kKindParam, n, arrays.kinds) != n) return false;
    for (int k = 0; k < kValueParams; ++k)
        if (OPR_ask_double_array_param(m_operation, kFirstValueParam + k, n, arrays.values[k]) != n) return false;

    try {
        bool have_kind = false;
        ContourType kind = BlankContour;
        Contour contour;
        for (int i = 0; i < n; ++i) {
            const int code = arrays.kinds[i];
            if (code >= -3 && code <= -1) {
                if (have_kind) PushContour(kind, contour);
                contour.clear();
                kind = static_cast<ContourType>(-code - 1);
                have_kind = true;
            } else if (code >= 0 && code <= 3) {
                ContourSegment s;
                const double* const* v = arrays.values;
                SetContourSegment(code, v[0][i], v[1][i], v[2][i], v[3][i], v[4][i], v[5][i], s);
                contour.push_back(s);
            }
        }
        if (have_kind) PushContour(kind, contour);
    } catch (...) {
        DeleteContourTable();
        throw;
    }
    return true;
}

ICycle* CycleFactory::Create(OPR* operation, bool load) {
    std::unique_ptr<Cycle> cycle(new Cycle(operation));
    if (load) cycle->LoadContourTable();
    return cycle.release();
}

}  // namespace Cam
}  // namespace Korvo
