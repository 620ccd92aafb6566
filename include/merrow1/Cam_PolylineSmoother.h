// Kinks of 3-D polylines and their smoothing.
//
// A kink is a short zig-zag: two sharp turns bending in opposite directions
// within a short length.  The smoother finds kinks and moves the kink points
// toward the midpoints of their neighbours, within per-point limits given as
// a maximum distance or as a cylinder around an axis; it can also only
// report the kinks, or the kinks of a height profile along the polyline.
// The host makes one with PolylineSmootherFactory(), owns it and deletes it
// through the interface.  Every call sets its own input and recomputes
// everything; the vectors passed stay the caller's and must live during the
// call.
#pragma once

#include <merrow1/export.h>
#include <quorn/quorn.h>
#include <stend/system.h>

#include <cstddef>
#include <vector>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

// Limits of one point's move d: along the unit axis, lo <= d . axis <= hi
// (lo not positive); across it, at most `across`.
struct CylindrConstraint {
    Korvo::Math::Vector3* axis;
    double lo, hi, across;
};

class IPolylineSmoother {
public:
    virtual ~IPolylineSmoother();
    // Smooths with a maximum move per point (null: nothing moves).  The
    // result goes into the points of `output`, which holds as many points as
    // the input.  A null maxKinkLength means the longest segment.
    virtual void Smooth(std::vector<double>* maxMove, double* maxKinkLength,
                        std::vector<Korvo::Math::Point3*>* output) = 0;
    // The same with a cylinder constraint per point.
    virtual void SmoothDirectional(std::vector<CylindrConstraint>* constraints, double* maxKinkLength,
                                   std::vector<Korvo::Math::Point3*>* output) = 0;
    // Kinks of the height profile `values` (one per point) along the
    // polyline: points where the slope turns by more than 0.7 radians.  The
    // slope change at every point goes to slopeChanges (resized to the point
    // count).  `directions` is kept and takes no part; `spare` is not used.
    // Returns the number of kink points.
    virtual int FindKinks(std::vector<Korvo::Math::Point3*>* points, std::vector<Korvo::Math::Vector3*>* directions,
                          std::vector<double>* values, std::vector<Korvo::Math::Vector3*>* spare,
                          double* maxKinkLength, std::vector<bool>* kinks, std::vector<double>* slopeChanges) = 0;
    // Kinks of the polyline; the marks go to `kinks` (grown to the point
    // count when smaller).  Returns the number of kink points.
    virtual int FindKinks(std::vector<Korvo::Math::Point3*>* points, double* maxKinkLength,
                          std::vector<bool>* kinks) = 0;
    virtual void SetInputPoly(std::vector<Korvo::Math::Point3*>* points) = 0;
    // Turns above this angle (degrees, default 2.5) are sharp.
    virtual void SetSmoothAngle(double degrees) = 0;

    static IPolylineSmoother* PolylineSmootherFactory();

    // Smoothers live in the host's C++ memory.
    static void* operator new(std::size_t size);
    static void operator delete(void* p);

protected:
    IPolylineSmoother() = default;
};

class PolylineSmoother : public IPolylineSmoother {
public:
    ~PolylineSmoother() override;
    void Smooth(std::vector<double>* maxMove, double* maxKinkLength,
                std::vector<Korvo::Math::Point3*>* output) override;
    void SmoothDirectional(std::vector<CylindrConstraint>* constraints, double* maxKinkLength,
                           std::vector<Korvo::Math::Point3*>* output) override;
    int FindKinks(std::vector<Korvo::Math::Point3*>* points, std::vector<Korvo::Math::Vector3*>* directions,
                  std::vector<double>* values, std::vector<Korvo::Math::Vector3*>* spare, double* maxKinkLength,
                  std::vector<bool>* kinks, std::vector<double>* slopeChanges) override;
    int FindKinks(std::vector<Korvo::Math::Point3*>* points, double* maxKinkLength,
                  std::vector<bool>* kinks) override;
    void SetInputPoly(std::vector<Korvo::Math::Point3*>* points) override;
    void SetSmoothAngle(double degrees) override;
    virtual void SetInputProjection(std::vector<Korvo::Math::Vector3*>* directions, std::vector<double>* values);

    // Bends whose centre directions and normals are at least this far apart
    // (degrees, default 120) make a kink.
    void SetKinkAngle(double degrees);

    PolylineSmoother(const PolylineSmoother&) = delete;
    PolylineSmoother& operator=(const PolylineSmoother&) = delete;

protected:
    explicit PolylineSmoother(std::vector<Korvo::Math::Point3*>* input);
    PolylineSmoother();
    friend class IPolylineSmoother;

private:
    template <class T>
    using HostVector = std::vector<T, Korvo::Memory::SMAlloc<T>>;

    bool Prepare();
    void SetMaxKinkLength(const double* maxKinkLength);
    int IdentifyKinks();
    void ComputeFixed();
    void SmoothWithLimits(double* maxKinkLength, std::vector<Korvo::Math::Point3*>* output);
    void ApplyConstraint(int i, const double target[3]);
    int Previous(int i) const;
    int Next(int i) const;
    const double* P(int i) const { return &m_work[3 * i]; }

    std::vector<Korvo::Math::Point3*>* m_input = nullptr;
    std::vector<Korvo::Math::Point3*>* m_output = nullptr;
    std::vector<double>* m_maxMove = nullptr;
    std::vector<CylindrConstraint>* m_constraints = nullptr;
    HostVector<bool> m_fixed;
    HostVector<double> m_work;  // 3 coordinates per point
    HostVector<bool> m_kinks;
    bool m_closed = false;
    int m_count = 0;
    double m_maxKinkLength = 0;
    double m_kinkAngle = 120.0;
    double m_smoothAngle = 2.5;
    std::vector<Korvo::Math::Vector3*>* m_directions = nullptr;
    std::vector<double>* m_values = nullptr;
    HostVector<double> m_workValues;
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
