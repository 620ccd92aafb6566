// Measuring-probe support for inspection toolpaths: the tips of a probing
// tool (position, direction, diameter) as the host's tool describes them,
// and the two rotation angles of a swivelling probe head that aim the probe
// along a wanted direction, either freely or snapped to the head's indexed
// positions.
//
// Matrices act on row vectors (as the host's MTX3_ calls do): a direction v
// turned by M is v M, and a product A B turns by A first, then by B.  Angles
// are in degrees.
//
// A null argument raises error 3980004 ("The <function> function was passed
// a NULL pointer as the <n-th> parameter.").
#pragma once

#include <merrow1/export.h>
#include <quorn/quorn.h>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

class CmmInspectTool {
public:
    typedef Korvo::Math::Vector3 Vector3;
    typedef Korvo::Math::Point3 Point3;
    enum { MaxTips = 8, NameSize = 256 };
    enum { NullPointerError = 3980004 };

    // The probe record; the caller owns it.
    struct ToolData_s {
        bool articulated;         // the head can rotate; else the tool vector is fixed
        Vector3 firstAxis;        // default (-1, 0, 0)
        Vector3 secondAxis;       // default (0, 0, 1)
        double firstAngleMin;     // default 0
        double firstAngleMax;     // default 105
        bool firstAngleLimited;   // default on
        double secondAngleMin;    // default -180
        double secondAngleMax;    // default 180
        bool secondAngleLimited;  // default on
        double firstAngleStep;    // index step, default 7.5
        double secondAngleStep;   // index step, default 7.5
        Vector3 toolVector;       // the fixed tool vector, default (0, 0, 1)
        double length;            // probe length
        Point3 referencePoint;    // default the origin
        double headMatrix[9];     // the head's orientation for the last angles computed
        int tipCount;
        Point3 tipPosition[MaxTips];
        Vector3 tipDirection[MaxTips];
        double tipDiameter[MaxTips];
        double tipRadius;         // half the diameter of the tip in use
        int tipIndex;             // the tip in use
        Point3 tipInUsePosition;
        Vector3 tipInUseDirection;
        char name[NameSize];      // the tool's name (cut to NameSize - 1 characters)
    };

    CmmInspectTool() {}

    // Resets the record: one tip, identity head matrix, the defaults noted
    // on the fields above, everything else zero.
    static void InitData(ToolData_s* data);
    // Reads a probing tool (a cutter of type 11 and subtype 1; any other tag
    // leaves the record unchanged): head orientation (tool parameter 1197, a
    // coordinate system), name, and up to 8 tips from the tracking points of
    // parameter 1060, the first the reference and the later ones relative to
    // it.  Diameters are converted by 25.4 when the tool's part and the work
    // part differ in units.
    static void GetToolData(unsigned toolTag, ToolData_s* data);
    // The centre and radius of a tracking point's geometry: a point (radius
    // 0), an arc, or a circular edge or face of a solid; other tags leave the
    // outputs unchanged.
    static void ExtractTrackpointGeomData(unsigned tag, double* point, double* radius);
    // The tool vector for head angles a and b: the fixed vector turned by a
    // about the first axis, then by b about the second (R = Ra Rb, stored in
    // headMatrix); the fixed vector when the head is not articulated.
    static void CalcToolVec(ToolData_s* data, double angleA, double angleB, Vector3* vector);
    // The direction of polar angle a (from z) and azimuth b (from x towards y)
    // in the frame of the x and z directions (y = z cross x); the fixed tool
    // vector when not articulated or when the frame cannot be made.
    static void Calc5AxisToolVec(ToolData_s* data, double angleA, double angleB, Vector3* xDirection,
                                 Vector3* zDirection, Vector3* vector);
    // Unindexed head angles for a direction (CalcToolVec undone, for the
    // default axes), each clamped to its limits when they apply; both 0 for a
    // fixed head or a direction whose x-y part is shorter than 0.001.
    static void Calc5AxisToolAngles(ToolData_s* data, Vector3* direction, double* angleA, double* angleB);
    // Head angles for a direction: continuous ones when asked or when either
    // angle has no limits, else the index position whose tool vector is
    // closest to the direction.  Index steps at or below 0, non-finite steps
    // or limits and a minimum above its maximum refuse the search with a note
    // (a = b = 0).
    static void CalcToolAngles(ToolData_s* data, Vector3* direction, bool continuous, double* angleA,
                               double* angleB);
    // The tip whose direction (turned by the head matrix) is closest to the
    // direction becomes the tip in use; 0 for a probe of one tip.
    static void CalcToolTip(ToolData_s* data, Vector3* direction, int* tipIndex);
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
