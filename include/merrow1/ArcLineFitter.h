// Arc and line fitter: replaces runs of short line segments of a chain by as
// few lines and arcs as possible, each passing through the "gate" that the
// caller set on every free vertex.
//
// A gate is application data under APP_DATA_FIT_GATE (app_data_keys.h) on a
// chain vertex: 4 doubles, the first gate end (x, y) and the second gate end
// (x, y) in the chain's plane, allocated in the chain's pool.  Going along the
// chain the first end must lie on the right of the fitted path and the second
// on its left (or on it).  The fitter deletes the gate records of every piece
// it fits and of the vertices it keeps fixed.
//
// Among the paths with the fewest segments the fitter takes the one with the
// least weighted squared deviation from the input points.  The chain is
// rewritten in place; the vertex callback says which vertices may be absorbed
// (true) and which must stay (false); a null callback absorbs everything.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <vector>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

struct ArcLineFitterTestAccess;

// The process-wide fitter debugger: a callback and flags the host sets on the
// object GetDebugger() returns.  All start zero.
class ArcLineFitterDebug {
public:
    virtual ~ArcLineFitterDebug();
    static ArcLineFitterDebug* GetDebugger();

    void (*callback)() = nullptr;
    int call_at_start = 0;
    int call_at_end = 0;
    int call_after_draw = 0;
    int draw_output_arcs = 0;
    int draw_before_repair = 0;
    int draw_after_repair = 0;
    int draw_repair_tests = 0;
    int draw_gates_at_start = 0;
    int refresh_before_draw = 0;
    // The chain's coordinate system, copied at the start of each fit.
    CSYS csys = {};
};

class IArcLineFitter {
public:
    virtual ~IArcLineFitter();
    virtual void DoFit(RING_header_s* chain) = 0;

    // The process-wide usage value the host asks (the library only holds it).
    // The first AskUse reads HVEX_CAM_ARC_FIT_USAGE once: a whole number 0, 1
    // or 2 becomes the usage; anything else leaves it (default 2).  SetUse
    // stores a value and marks the variable as read.
    static int AskUse();
    static void SetUse(int use);

protected:
    IArcLineFitter() = default;
    friend struct ArcLineFitterTestAccess;
    IArcLineFitter(const IArcLineFitter&) = default;
    IArcLineFitter& operator=(const IArcLineFitter&) = default;

private:
    static int s_use;
    static bool s_useRead;
};

class ArcLineFitter : public IArcLineFitter {
public:
    typedef bool (*VertexCallback)(RING_header_s const*, RING_node_s const*);

    ArcLineFitter(double tolerance, double minSegmentLength, VertexCallback vertexCallback);
    // A copy carries the settings, never a working pool.
    ArcLineFitter(const ArcLineFitter& other);
    ArcLineFitter& operator=(const ArcLineFitter& other);
    ~ArcLineFitter() override;

    // Fits every gated piece of the chain in place.  An internal error raised
    // inside deletes the working pool before it passes on.
    void DoFit(RING_header_s* chain) override;

    // Pulls the gate ends of every vertex whose gate is wider than maxWidth
    // toward the vertex point, to that width.  Nothing for a null chain or a
    // width below 1e-10.
    static void LimitGateWidths(RING_header_s* chain, double maxWidth);

    // Whether p lies strictly inside the circle of the arc alpha on the chord
    // with the given midpoint and half chord.
    static bool InCircle(Korvo::Math::Point2 const* mid, Korvo::Math::Vector2 const* halfChord, double alpha,
                         Korvo::Math::Point2 const* p);

private:
    friend struct ArcLineFitterTestAccess;

    // An arc through the two ends of a chord: alpha is the signed distance of
    // the centre from the chord's midpoint (to the left of the chord) over half
    // the chord; cw is the sense.  |alpha| above 1e100 is the line.  The order
    // (cw false before true, then alpha) is the order of the bulge from -inf to
    // +inf: arcs bulging right, the line, arcs bulging left.
    class ArcParam {
    public:
        double alpha = 1e101;
        bool cw = false;

        bool IsLine() const;
        void SetLine();
        double CalcAngularExtent() const;
        double BulgeAlpha() const;
        void SetFromBulgeAlpha(double bulge);
        void SetFromChainVertex(RING_header_s const* chain, RING_node_s const* vertex);
        // Re-bases the arc from the old chord onto the new one (same circle).
        void Rebase(Korvo::Math::Point2 const& oldStart, Korvo::Math::Point2 const& oldEnd,
                    Korvo::Math::Point2 const& newStart, Korvo::Math::Point2 const& newEnd);
        bool operator<(ArcParam const& other) const;
        bool operator==(ArcParam const& other) const { return !(*this < other) && !(other < *this); }
        // (2 cw - 1) alpha: how far the arc bends to one side.
        double SideKey() const;
    };

    enum IntervalState { UNSET = 0, PLAIN = 1, WRAPPED = 2 };

    class ArcParamInterval {
    public:
        ArcParam lower, upper;
        IntervalState state = UNSET;

        // Intersection with another interval; false when it is empty.
        bool Combine(ArcParamInterval const& other);
        // Side 0 raises the lower bound, side 1 lowers the upper bound; false
        // when the interval became empty.
        bool CombineOneSide(ArcParam const& bound, int side);
        void CircleComplement();
        bool EliminateShallowArcs(double chordLength, double maxRadius);
        bool Contains(ArcParam const& arc) const;
    };

    struct PointRec {
        double x, y;      // the point
        double g1x, g1y;  // first gate end (right of the path)
        double g2x, g2y;  // second gate end (left of the path)
    };

    struct CleanedSegment {
        Korvo::Math::Point2 start, end;
        int start_index;
        int mark;
        int end_index_minus_one;
        ArcParam arc;
        CleanedSegment* next;
    };

    struct PathRec {
        int predecessor = -1;
        int first_follower = -1, last_follower = -1;
        ArcParam arc;
        double deviation = 0.0;
        double total = 0.0;
        int count = 0;
        double length = 0.0;  // the input segment ending at this point
    };

    // --- the geometric core -------------------------------------------------
    Korvo::Math::Point2 PointAt(int k) const;
    int Wrap(int k) const;
    bool TestFitLine(int i, int j, Korvo::Math::Point2 const* start, Korvo::Math::Point2 const* end, double shrink);
    bool TestFitArc(int i, int j, ArcParamInterval& interval, Korvo::Math::Point2 const* start,
                    Korvo::Math::Point2 const* end);
    bool TestFitCircle(int& i, int& j, ArcParam& arc);
    double FindMinDeviationArc(int i, int j, ArcParamInterval const& interval, ArcParam& out, bool fullCircle,
                               Korvo::Math::Point2 const* start, Korvo::Math::Point2 const* end);
    double SquaredDeviationForSeg(ArcParam const& arc, Korvo::Math::Point2 const* start,
                                  Korvo::Math::Point2 const* end, int i, int j, bool weighted, bool fullCircle);
    double DeviationOfBulge(double bulge);
    double MinimizeBracketedFn(double (ArcLineFitter::*fn)(double), double a, double b, double tol, double& best);
    double MinimizeFn(double (ArcLineFitter::*fn)(double), double a, double b, double c, double tol, double& best);
    void EdgeBounds(int k, double& first, double& second) const;

    // --- the driver ---------------------------------------------------------
    void FitPiece(RING_header_s* chain, RING_node_s* start, RING_node_s* end, int segmentCount);
    bool JumpFitFrom(int i, int& j, ArcParam& arc, double& deviation, bool& circle);
    void FitPieceOptimizing(RING_header_s* chain, RING_node_s* start, RING_node_s* end);
    void RecordReach(int from, int to, ArcParam const& arc, double deviation);
    void OutputOptimizedPath(RING_header_s* chain, RING_node_s* start, RING_node_s* end);
    CleanedSegment MakeCleaned(int from, int to, ArcParam const& arc) const;
    int MoveSeam();
    bool ArcTooShallowForOutput(CleanedSegment const& seg) const;
    bool GetBestPolylineReplacement(int i, int j, int& a, int& b);
    void ReplaceShallowArcsWithLines();
    void WritePath(RING_header_s* chain, RING_node_s* start, int seam);
    void OutputCircle(RING_header_s* chain, RING_node_s* start, int i, ArcParam const& arc);
    // Writes one segment after `node`, deleting the input vertices from
    // firstGone to lastGone (path order); answers the vertex at its end.
    RING_node_s* OutputSegment(RING_header_s* chain, RING_node_s* node, RING_node_s* const* vertices, int i, int j,
                               ArcParam const& arc, Korvo::Math::Point2 const* start,
                               Korvo::Math::Point2 const* end, int firstGone, int lastGone);
    RING_node_s* InsertFittedVertex(RING_header_s* chain, RING_node_s* after, RING_node_s* source,
                                    end_segment const& end, bool isArc);
    bool VertexIsFree(RING_header_s const* chain, RING_node_s const* vertex) const;

    // --- the output stage: corner, tangent arc and near-tangent repair ------
    // The verdict on one vertex between two segments.
    enum RepairableTangentState { NOT_REPAIRABLE = 0, ALREADY_TANGENT = 1, REFIT_FIRST = 2, REFIT_SECOND = 3 };
    // The chain segment ending at `vertex` as a cleaned segment outside the
    // piece (mark 1), both indices at the piece index given.
    bool ChainNeighbour(RING_header_s const* chain, RING_node_s const* vertex, int index, CleanedSegment& out) const;
    bool FitBetween2AnalyticEntities(RING_header_s* chain, RING_node_s* start, RING_node_s* end);
    bool FitArcTangently(int i, int j, Korvo::Math::Vector2 const& t1, Korvo::Math::Vector2 const& t2,
                         ArcParam& arc);
    int PlacePointAlongPath(Korvo::Math::Point2 const& point, int from, int to) const;
    bool IsWithinCorridor(int k, Korvo::Math::Point2 const& point) const;
    double AverageGateWidth(int i, int j) const;
    bool TestFitSpecificArc(ArcParam const& arc, int i, int j, Korvo::Math::Point2 const* start,
                            Korvo::Math::Point2 const* end, bool lenient);
    RepairableTangentState TestVertexTangency(CleanedSegment const& first, CleanedSegment const& second) const;
    bool TestAndImproveSegmentTangency(CleanedSegment* previous, CleanedSegment& arc, CleanedSegment* next);
    bool ImproveSegmentTangency(CleanedSegment* previous, CleanedSegment& arc, CleanedSegment* next,
                                bool repairStart, bool repairEnd);
    bool FitTangentArcToMeetPoint(Korvo::Math::Point2 const& p, Korvo::Math::Vector2 const& t,
                                  Korvo::Math::Point2 const& q, ArcParam& arc) const;
    bool FitTangentArcToMeetSegment(Korvo::Math::Point2 const& p, Korvo::Math::Vector2 const& t,
                                    CleanedSegment const& segment, bool farEndMoves, ArcParam& arc,
                                    Korvo::Math::Point2& touch) const;
    bool BuildRepair(double p, CleanedSegment& previous, CleanedSegment& arc, CleanedSegment& next);
    double SquaredDeviationForFittedArc(double p);
    double SegmentDeviation(CleanedSegment const& seg);
    bool ReinsertLinesToImproveTangency(size_t index, CleanedSegment* previous, CleanedSegment* next);
    void CleanNearTangentVertices(RING_header_s* chain, RING_node_s* start, RING_node_s* end);
    // Re-bases a closed loop so that point r becomes point 0 (points, their
    // segment lengths and vertices, the indices of the cleaned segments).
    void RotateLoop(int r);
    void RebaseIndices(CleanedSegment& seg, int r) const;

    // --- debug drawing ------------------------------------------------------
    void DrawGates(RING_header_s* chain);
    void DrawArc(Korvo::Math::Point2 const& start, Korvo::Math::Point2 const& end, ArcParam const& arc,
                 int colour);

    CMEM_pool_s* m_pool = nullptr;
    int m_count = 0;
    bool m_closed = false;
    std::vector<PointRec> m_points;
    std::vector<double> m_edgeBounds;
    std::vector<PathRec> m_path;
    std::vector<CleanedSegment> m_cleaned;
    double m_tolerance;
    double m_minSegSq;
    double m_minimiserTol;
    double m_maxRadius;
    VertexCallback m_callback;
    // The current segment of the deviation objective.
    int m_segStart = 0, m_segEnd = 0;
    Korvo::Math::Point2 const* m_segStartPoint = nullptr;
    Korvo::Math::Point2 const* m_segEndPoint = nullptr;
    bool m_weighted = true;
    bool m_fullCircle = false;
    double m_minArcBulge = 0.0;
    ArcLineFitterDebug* m_debugger;
    // The piece being fitted: its chain, the vertex of every point, and the
    // split points of a full circle found by the jump.
    RING_header_s* m_chain = nullptr;
    std::vector<RING_node_s*> m_pieceNodes;
    int m_circleStart = 0, m_circleEnd = 0;
    // Scratch of the tangency repair: the neighbour the new arc leaves
    // tangentially (in the direction of the build), the segment it must meet
    // tangentially (or only the point `m_repairPoint`), whether the build runs
    // from the arc's far end backwards, and the best parameter found.
    CleanedSegment m_repairFixed = {};
    CleanedSegment m_repairTarget = {};
    CleanedSegment m_repairArc = {};
    Korvo::Math::Point2 m_repairPoint = {0.0, 0.0};
    bool m_repairMeetsSegment = false;
    bool m_repairBackwards = false;
    bool m_repairTargetMoves = false;
    double m_repairBest = 0.0;
    // The chain segments around an open piece (mark 1) and whether they exist.
    CleanedSegment m_chainPrevious = {};
    CleanedSegment m_chainNext = {};
    bool m_hasChainPrevious = false, m_hasChainNext = false;
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
