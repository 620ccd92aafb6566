// Extended-precision arithmetic and the exact tests of line and arc pieces.
//
// Pieces on an integer grid have whole-number end points (below 2^31) and arc
// parameters h that are multiples of a power of two (h 2^k a whole number
// below 2^31).  Every sign the exact kernel needs is a polynomial in these
// numbers.  A multi-digit number holds such a value exactly as a sum of
// doubles, digit k being a multiple of 2^(23 k): every product of two digits
// then has at most 46 significant bits and is exact in a double, and partial
// sums are kept apart by digit position, so nothing is ever rounded.
//
// Callers evaluate a test in plain doubles with an error bound first and come
// here only when the estimate cannot decide.
//
// The earlier builds export the line and arc pieces and their arithmetic (the
// LINE_ARC_SEG_ and MULTI_PREC_ names declared here); libmerrow1's export
// list keeps them local but for the loop-area sign.
#pragma once

#include <merrow1/export.h>

#include "exact/line_arc_seg.h"

MERROW1_API_BEGIN

// ---------------------------------------------------------------------------
// Process-wide constants
// ---------------------------------------------------------------------------

// Rows of (2^(23 k), 2^(-23 k)); row 15 is k = 0, rows 0..20 hold k = -15..5.
// Constant-initialised, so valid before any code runs; the set-up below
// rebuilds the same values.
const int LINE_ARC_SEG_UNIT_ROWS = 36;
const int LINE_ARC_SEG_UNIT_ZERO_ROW = 15;
extern double LINE_ARC_SEG__units[LINE_ARC_SEG_UNIT_ROWS][2];
// 1 / ln 2, for base-2 logarithms.
extern double LINE_ARC_SEG__recip_log2;

// Row m = (1, 1); rows m+1 .. n-m-1 each the previous times (2^bits, 2^-bits);
// rows m-1 .. 0 each the next times (2^-bits, 2^bits).
void MULTI_PREC_build_units(int bits, int n, int m, double table[][2]);
// Builds the unit table and 1/ln 2 once per process.
void LINE_ARC_SEG_mth_init_arithmetic();

// ---------------------------------------------------------------------------
// Counts of exact evaluations
//
// One counter per kind of test: how often the exact kernel evaluated it in
// multi-digit arithmetic, process-wide, since the start or the last reset.
// They exist so that a benchmark can report the double filter's hit rate (the
// share of calls decided without multi-digit arithmetic) and a test can show
// where the exact arithmetic runs; the library never reads them.
//
// Every kind is a fallback: a double filter stands in front of the test and
// the counter is incremented on the branch taken when it cannot decide, so
// the filtered path does no counting at all.
//
// Plain counters, not atomic: the library is called by one thread at a time.
// ---------------------------------------------------------------------------
enum LINE_ARC_SEG_exact_fallback_e {
    LINE_ARC_SEG_FALLBACK_CROSS,         // sign of a cross product of grid vectors
    LINE_ARC_SEG_FALLBACK_CROSS_DIFF,    // a line/line parameter against 1 (difference of cross products)
    LINE_ARC_SEG_FALLBACK_POWER,         // power of a point against an arc's circle
    LINE_ARC_SEG_FALLBACK_PROJECTION,    // d.(q - M): a point against the foot of a centre on a line
    LINE_ARC_SEG_FALLBACK_CENTRE_SIDE,   // side of a point against the line through two centres
    LINE_ARC_SEG_FALLBACK_LA_DISC,       // discriminant of a line and a circle
    LINE_ARC_SEG_FALLBACK_AA_DISC,       // discriminant of two circles
    LINE_ARC_SEG_FALLBACK_LL_POINT,      // exact terms for a line/line point the estimate leaves too loose
    LINE_ARC_SEG_FALLBACK_LA_POINT,      // the same for a line/circle point
    LINE_ARC_SEG_FALLBACK_AA_POINT,      // the same for a circle/circle point (or a disc decided exactly)
    LINE_ARC_SEG_FALLBACK_LL_ROUND,      // grid rounding of a line/line point coordinate near a half
    LINE_ARC_SEG_FALLBACK_LA_ROUND,      // the same for a line/circle point
    LINE_ARC_SEG_FALLBACK_AA_ROUND,      // the same for a circle/circle point
    LINE_ARC_SEG_FALLBACK_CENTRE_ROUND,  // grid rounding of an arc's centre near a half
    LINE_ARC_SEG_FALLBACK_VERTICAL,      // heights of two lines at one abscissa
    LINE_ARC_SEG_FALLBACK_CENTRE_DOT,    // (C - q).v of an arc's centre at a common point
    LINE_ARC_SEG_FALLBACK_ALONG,         // a sign of the order along a piece of two named points, or of a
                                         // point and a named point past the power and side tests
    LINE_ARC_SEG_FALLBACK_AROUND,        // a sign of the order around a point of pieces, one an arc
    LINE_ARC_SEG_FALLBACK_FORMS,         // whether two arcs have one centre
    LINE_ARC_SEG_FALLBACK_KINDS
};

// The counters, indexed by kind; incremented only through
// LINE_ARC_SEG__count_exact_fallback.
extern unsigned long long LINE_ARC_SEG__exact_fallbacks[LINE_ARC_SEG_FALLBACK_KINDS];
inline void LINE_ARC_SEG__count_exact_fallback(LINE_ARC_SEG_exact_fallback_e kind) {
    ++LINE_ARC_SEG__exact_fallbacks[kind];
}
// Copies the counts into counts (LINE_ARC_SEG_FALLBACK_KINDS of them; may be
// null) and returns their sum.
unsigned long long LINE_ARC_SEG_exact_fallback_counts(unsigned long long* counts);
// Sets every count to 0.
void LINE_ARC_SEG_exact_fallback_counts_reset();

// ---------------------------------------------------------------------------
// Multi-digit numbers
// ---------------------------------------------------------------------------

// A multi-digit number: digits[k] is the digit at position k, a multiple of
// 2^(23 k); positions low..high are used.  The value is the sum of the digits.
// A null digit pointer means "not formed yet".
struct MULTI_PREC_float_s {
    double* digits;
    int low;
    int high;
};

// Digit storage of the numbers kept in records: positions -16 .. 15.  On grid
// pieces the largest kept number (an arc/arc discriminant) uses about -8 .. 12.
const int MULTI_PREC_STORED_LOW = -16;
const int MULTI_PREC_STORED_DIGITS = 32;

// A number kept in a record, with its own digit storage.  Not copyable: the
// number's digit pointer points into the storage beside it.
struct MULTI_PREC_stored_s {
    double storage[MULTI_PREC_STORED_DIGITS];
    MULTI_PREC_float_s num;

    MULTI_PREC_stored_s() : num{nullptr, 0, 0} {}
    MULTI_PREC_stored_s(const MULTI_PREC_stored_s&) = delete;
    MULTI_PREC_stored_s& operator=(const MULTI_PREC_stored_s&) = delete;

    bool formed() const { return num.digits != nullptr; }
    void clear() { num.digits = nullptr; }
};

// A working multi-digit number with its own digits at positions -32 .. 31,
// kept normalised: |digit k| < 2^(23 (k+1)).  Then the sign of the number is
// the sign of its highest non-zero digit (the digits below it sum to less
// than 2^(23 k) in magnitude).  Every operation is exact; a result that needs
// positions outside the range ends with an internal error (it cannot happen
// for polynomials of degree up to 8 in grid data).
class MULTI_PREC_number {
public:
    static const int MIN_POS = -32;
    static const int MAX_POS = 31;

    MULTI_PREC_number();                                 // zero
    explicit MULTI_PREC_number(double value);            // exact digits of a double
    explicit MULTI_PREC_number(const MULTI_PREC_float_s& number);  // digits of a kept number

    int sign() const;         // -1, 0 or +1, exact
    bool is_zero() const { return sign() == 0; }
    double value() const;     // the value as a double, within 2^-53 (1 + 2^-22) of it
    int low() const { return low_; }
    int high() const { return high_; }
    double digit(int k) const { return (k < MIN_POS || k > MAX_POS) ? 0.0 : d_[k - MIN_POS]; }

    MULTI_PREC_number operator-() const;
    MULTI_PREC_number times(int n) const;               // exact product with a small integer (|n| < 2^20)
    friend MULTI_PREC_number operator+(const MULTI_PREC_number& a, const MULTI_PREC_number& b);
    friend MULTI_PREC_number operator-(const MULTI_PREC_number& a, const MULTI_PREC_number& b);
    friend MULTI_PREC_number operator*(const MULTI_PREC_number& a, const MULTI_PREC_number& b);

    // Copies the digits into a record's storage (positions -16 .. 15).
    void store(MULTI_PREC_stored_s* kept) const;

private:
    void normalise();
    double d_[MAX_POS - MIN_POS + 1];
    int low_, high_;
};
// The exact sum, difference and product, declared here as well as befriended,
// so that they take this header's export marking with either compiler.
MULTI_PREC_number operator+(const MULTI_PREC_number& a, const MULTI_PREC_number& b);
MULTI_PREC_number operator-(const MULTI_PREC_number& a, const MULTI_PREC_number& b);
MULTI_PREC_number operator*(const MULTI_PREC_number& a, const MULTI_PREC_number& b);

// ---------------------------------------------------------------------------
// Expansions and working records
// ---------------------------------------------------------------------------

// A vector prepared for exact cross products: whole-number coordinates below
// 2^32 in magnitude, split at 2^23 on first use.
struct LINE_ARC_SEG_vec2_expansion_s {
    double x, y;
    double xl, xh, yl, yh;  // low parts (below 2^23) and high parts (multiples of 2^23)
    bool split;

    LINE_ARC_SEG_vec2_expansion_s() : x(0), y(0), xl(0), xh(0), yl(0), yh(0), split(false) {}
    LINE_ARC_SEG_vec2_expansion_s(double vx, double vy)
        : x(vx), y(vy), xl(0), xh(0), yl(0), yh(0), split(false) {}
};

// An exactly evaluated cross product: value = (digit1 + digit2) + digit0, each
// digit an exact double (digit0 below 2^23 units, digit1 multiples of 2^23,
// digit2 multiples of 2^46); the digits are not normalised.
struct LINE_ARC_SEG_real_3_expansion_s {
    double value;
    double error;  // |value| x 2.23e-16
    double digit0, digit1, digit2;
    bool computed;

    LINE_ARC_SEG_real_3_expansion_s()
        : value(0), error(0), digit0(0), digit1(0), digit2(0), computed(false) {}
};

// The exact value of a cross product's three digits as a multi-digit number.
inline MULTI_PREC_number MULTI_PREC_from_real_3(const LINE_ARC_SEG_real_3_expansion_s& e) {
    return MULTI_PREC_number(e.digit2) + MULTI_PREC_number(e.digit1) + MULTI_PREC_number(e.digit0);
}

// An arc's doubled centre vector 2c = (d.x - 2h d.y, d.y + 2h d.x), exactly;
// filled once per arc (LINE_ARC_SEG__expand_centre) and reused.  Lives in the
// caller's frame for the pieces it was made from.
struct LINE_ARC_SEG_centre_expansion_s {
    MULTI_PREC_stored_s x, y;
    bool filled() const { return x.formed(); }
};

// Exact terms of two arcs (see LINE_ARC_SEG__mth_exact_aa_disc).  Positions
// are relative to the first arc's start s1; c1, c2 the doubled centre vectors.
struct LINE_ARC_SEG_precise_aa_s {
    int state = 1;  // 1: no exact terms held; 0: built by LINE_ARC_SEG__mth_exact_aa_disc
    MULTI_PREC_stored_s c2x, c2y, c1x, c1y;  // digit copies of the centre expansions
    MULTI_PREC_stored_s P, Q;   // second centre, doubled, relative to s1
    MULTI_PREC_stored_s X, Y;   // doubled centre difference, first minus second
    MULTI_PREC_stored_s Z, W;   // cross(c1, (P, Q)); power of s1 against the second circle
    MULTI_PREC_stored_s Xc1x, Yc1y;
    MULTI_PREC_stored_s D, A_x, A_y, E_x, E_y, disc;  // empty until first formed
    double disc_value = 0;

    LINE_ARC_SEG_precise_aa_s() = default;
    LINE_ARC_SEG_precise_aa_s(const LINE_ARC_SEG_precise_aa_s&) = delete;
    LINE_ARC_SEG_precise_aa_s& operator=(const LINE_ARC_SEG_precise_aa_s&) = delete;
};

// Exact terms of a line (start s, direction d) and an arc's circle (centre M,
// radius r): the power of s + t d is A t^2 + B t + Z with A = |d|^2,
// B = 2 d.(s - M), Z = |s - M|^2 - r^2.
struct LINE_ARC_SEG_precise_la_s {
    int state = 1;  // 0 once built
    MULTI_PREC_stored_s A, B, Z;

    LINE_ARC_SEG_precise_la_s() = default;
    LINE_ARC_SEG_precise_la_s(const LINE_ARC_SEG_precise_la_s&) = delete;
    LINE_ARC_SEG_precise_la_s& operator=(const LINE_ARC_SEG_precise_la_s&) = delete;
};

// ---------------------------------------------------------------------------
// Exact tests.  Points and pieces are on the grid; an arc's h below -1e100 is
// read as 0 (the clockwise half circle has the geometry of h = 0).  Centre
// expansions passed in are filled here when still empty.
// ---------------------------------------------------------------------------

// a.x b.y - a.y b.x exactly into out; returns the summed value.  Returns the
// cached value when out is already computed.
double LINE_ARC_SEG__vec2_cross_exact(LINE_ARC_SEG_vec2_expansion_s* a,
                                      LINE_ARC_SEG_vec2_expansion_s* b,
                                      LINE_ARC_SEG_real_3_expansion_s* out);
// cross(a1, b1) - cross(a2, b2), with the sign exact.
double LINE_ARC_SEG__vec2_cross_diff_exact(LINE_ARC_SEG_vec2_expansion_s* a1,
                                           LINE_ARC_SEG_vec2_expansion_s* b1,
                                           LINE_ARC_SEG_real_3_expansion_s* e1,
                                           LINE_ARC_SEG_vec2_expansion_s* a2,
                                           LINE_ARC_SEG_vec2_expansion_s* b2,
                                           LINE_ARC_SEG_real_3_expansion_s* e2);

// a + b c, computed as (k b + a) + (c - k) b with k = trunc(c / 2^17) 2^17.
double LINE_ARC_SEG__mth_centre_calc(double a, double b, double c);

// The arc's centre rounded to the nearest grid point per axis, halves upward.
void LINE_ARC_SEG_mth_ask_rnd_centre(const PNT2_s* start, const LINE_ARC_SEG_s* arc, double* x,
                                     double* y);

// The exact doubled centre vector of the arc.
void LINE_ARC_SEG__expand_centre(const PNT2_s* start, const LINE_ARC_SEG_s* arc,
                                 LINE_ARC_SEG_centre_expansion_s* out);

// Power of the point v (relative to the arc's start) against the arc's circle,
// |v|^2 - v.2c: positive outside, negative inside, 0 on the circle.
void LINE_ARC_SEG__mth_calc_incircle_exp(LINE_ARC_SEG_vec2_expansion_s* v, const PNT2_s* start,
                                         const LINE_ARC_SEG_s* arc,
                                         LINE_ARC_SEG_centre_expansion_s* ce,
                                         MULTI_PREC_number* out);
double LINE_ARC_SEG__mth_exact_incircle(LINE_ARC_SEG_vec2_expansion_s* v, const PNT2_s* start,
                                        const LINE_ARC_SEG_s* arc,
                                        LINE_ARC_SEG_centre_expansion_s* ce);

// 4 cross(Cb - Ca, p - Ca), p the given point or else the start of a; negated
// for a non-zero selector.  Positive: p lies left of the line from Ca to Cb.
double LINE_ARC_SEG__mth_calc_exact_side(const PNT2_s* start_a, const LINE_ARC_SEG_s* arc_a,
                                         LINE_ARC_SEG_centre_expansion_s* ce_a,
                                         const PNT2_s* point, const PNT2_s* start_b,
                                         const LINE_ARC_SEG_s* arc_b,
                                         LINE_ARC_SEG_centre_expansion_s* ce_b, int selector);

// 2 d.(p - M), M the arc's centre.  p: without a line start the arc's start
// (selector 0) or end (selector 1); with one, the line start (selector 0) or
// the line record's end (selector 1; the line may be null for selector 0).
void LINE_ARC_SEG__mth_calc_side_exp_la(LINE_ARC_SEG_vec2_expansion_s* d, const PNT2_s* line_start,
                                        const LINE_ARC_SEG_s* line, const PNT2_s* arc_start,
                                        const LINE_ARC_SEG_s* arc,
                                        LINE_ARC_SEG_centre_expansion_s* ce, int selector,
                                        MULTI_PREC_number* out);
double LINE_ARC_SEG__mth_calc_exact_side_la(LINE_ARC_SEG_vec2_expansion_s* d,
                                            const PNT2_s* line_start, const LINE_ARC_SEG_s* line,
                                            const PNT2_s* arc_start, const LINE_ARC_SEG_s* arc,
                                            LINE_ARC_SEG_centre_expansion_s* ce, int selector);

// Line/arc terms A, B, Z (record built, state 0).
void LINE_ARC_SEG__mth_init_precise_la(const PNT2_s* line_start, LINE_ARC_SEG_vec2_expansion_s* d,
                                       const PNT2_s* arc_start, const LINE_ARC_SEG_s* arc,
                                       LINE_ARC_SEG_centre_expansion_s* ce,
                                       LINE_ARC_SEG_precise_la_s* rec);
// Builds the terms afresh and returns (B^2 - 4 A Z) / 4 = w^2 - |d|^2 Z with
// w = d.(s - M); *error gets its relative error bound 2.23e-16.
double LINE_ARC_SEG__mth_exact_la_disc(const PNT2_s* line_start, LINE_ARC_SEG_vec2_expansion_s* d,
                                       const PNT2_s* arc_start, const LINE_ARC_SEG_s* arc,
                                       LINE_ARC_SEG_centre_expansion_s* ce,
                                       LINE_ARC_SEG_precise_la_s* rec, double* error);
// Rounding decision for coordinate `coord` (0 x, 1 y) of line/circle point
// `point` (0 the one at the smaller line parameter t, 1 the larger); *g is the
// estimate relative to the line start.  above != 0: the estimate lay above g,
// *g becomes g + 1 unless the coordinate is strictly below g + 1/2.
// above == 0: *g becomes g - 1 when the coordinate is strictly below g - 1/2.
void LINE_ARC_SEG__mth_check_la_round(const PNT2_s* line_start, LINE_ARC_SEG_vec2_expansion_s* d,
                                      const PNT2_s* arc_start, const LINE_ARC_SEG_s* arc,
                                      LINE_ARC_SEG_centre_expansion_s* ce, int point, int coord,
                                      int above, LINE_ARC_SEG_precise_la_s* rec, double* g);

// Builds the arc/arc terms afresh (state 0) and returns the exact
// discriminant Z^2 - 4 W (X c1.x + Y c1.y + W) summed; *error gets 2.23e-16.
double LINE_ARC_SEG__mth_exact_aa_disc(const PNT2_s* s1, const LINE_ARC_SEG_s* arc1,
                                       LINE_ARC_SEG_centre_expansion_s* ce1, const PNT2_s* s2,
                                       const LINE_ARC_SEG_s* arc2,
                                       LINE_ARC_SEG_centre_expansion_s* ce2,
                                       LINE_ARC_SEG_precise_aa_s* rec, double* error);
// The two circle points relative to s1 (point 0 right of the direction from
// the first centre to the second, point 1 left), written for need[i] > 1, each
// coordinate with the relative error bound in errors[i][coord].
void LINE_ARC_SEG__mth_calc_precise_aa_intxn(const PNT2_s* s1, const LINE_ARC_SEG_s* arc1,
                                             LINE_ARC_SEG_centre_expansion_s* ce1,
                                             const PNT2_s* s2, const LINE_ARC_SEG_s* arc2,
                                             LINE_ARC_SEG_centre_expansion_s* ce2,
                                             LINE_ARC_SEG_precise_aa_s* rec, const int need[2],
                                             PNT2_s points[2], double errors[2][2]);
// Rounding decision for a coordinate of circle point `point`, *g relative to
// s1; above/below as for LINE_ARC_SEG__mth_check_la_round.
void LINE_ARC_SEG__mth_check_aa_round(const PNT2_s* s1, const LINE_ARC_SEG_s* arc1,
                                      LINE_ARC_SEG_centre_expansion_s* ce1, const PNT2_s* s2,
                                      const LINE_ARC_SEG_s* arc2,
                                      LINE_ARC_SEG_centre_expansion_s* ce2, int point, int coord,
                                      int above, LINE_ARC_SEG_precise_aa_s* rec, double* g);

// Classifies the arc's start (flags[0]) and end (flags[1]) against the other
// piece: 1 strictly outside its circle / strictly right of its line.
int LINE_ARC_SEG__mth_point_side_of_pair(const PNT2_s* s, const LINE_ARC_SEG_s* arc,
                                         const PNT2_s* p, const LINE_ARC_SEG_s* piece,
                                         int flags[2]);

// Exact rounding of a line/line intersection coordinate start + q num / den
// (num, den exact cross products, q a whole-number coordinate difference);
// *g the estimate relative to the start; above/below as for the la check.
void LINE_ARC_SEG__ixn_check_ll_round(int above, int den_positive,
                                      const LINE_ARC_SEG_real_3_expansion_s* den,
                                      const LINE_ARC_SEG_real_3_expansion_s* num, double q,
                                      double* g);

// The line on which the piece (start p) meets the base arc's circle (base
// start a, base centre expansion): points P with cross(u, P - a) + w = 0.
// A line piece gives its own line (u = e - p); an arc piece the radical line,
// u = (2 (N - M).y, -2 (N - M).x), zero exactly for concentric circles.
void LINE_ARC_SEG__mth_meeting_terms(const PNT2_s* p, const LINE_ARC_SEG_s* piece, const PNT2_s* a,
                                     LINE_ARC_SEG_centre_expansion_s* base_ce,
                                     MULTI_PREC_number u[2], MULTI_PREC_number* w);

// ---------------------------------------------------------------------------
// Order of intersection points along a piece
//
// A piece is a (start point, record) pair on the grid.  An intersection point
// on a base piece is named by the other piece that makes it and by the point
// flags of the exact intersection (LINE_ARC_SEG_intxn_flag_values_e values,
// combined).  Bit 2 chooses which of the two points where a line or circle
// meets a circle is meant, and it is read AS THE EXACT INTERSECTION GIVES IT
// WITH THE BASE PIECE FIRST:
//   - line base, arc other: LINE_ARC_SEG_ixn_la_intersect (base line, other
//     arc, swap 0);
//   - arc base, line other: LINE_ARC_SEG_ixn_la_intersect (other line, base
//     arc, swap 1);
//   - arc base, arc other: LINE_ARC_SEG_ixn_aa_intersect (base, other).
// A caller that holds the flag of a point found with the pieces in the other
// order (the base given second) passes LINE_ARC_SEG_intxn_flag_for_other_order
// (flag).  With bit 4 set (a tangency) the two points coincide and bit 2 does
// not matter.  For two lines no flag is read.
//
// The answers are exact.  They order points that lie on the base piece; when
// a named point does not exist or does not lie on the base piece the answer
// follows the rules but means nothing.  None of these functions allocates or
// keeps state: each comparator, used with fixed pieces, is a strict weak
// ordering of the points it is asked about (antisymmetric, transitive, 0
// exactly for the same point).  The unit table must be set up
// (LINE_ARC_SEG_mth_init_arithmetic; it is also valid before that).
// ---------------------------------------------------------------------------

// The position of q, a point of the base piece (start a), against the point
// of the base piece with the other piece (start c) named by flag: +1 q lies
// beyond it walking the base from its start to its end, -1 before it, 0 q is
// that point.
int LINE_ARC_SEG_prd_compare_intxns_ps(const PNT2_s* a, const LINE_ARC_SEG_s* base, const PNT2_s* q,
                                       const PNT2_s* c, const LINE_ARC_SEG_s* other, int flag);
// The order along the base piece of its point with piece b (flag_b) against
// its point with piece c (flag_c): +1 the point on b lies beyond the point on
// c, -1 before it, 0 the same point.  Ends with the internal error
// "Inconsistent overlap in prd_compare_arc_intxn_ss" when an arc base's ends
// contradict a named point that the other piece touches (see the code).
int LINE_ARC_SEG_prd_compare_intxns_ss(const PNT2_s* a, const LINE_ARC_SEG_s* base, const PNT2_s* b,
                                       const LINE_ARC_SEG_s* piece_b, int flag_b, const PNT2_s* c,
                                       const LINE_ARC_SEG_s* piece_c, int flag_c);
// Positive when the piece (start p) passes above q at q's abscissa, negative
// below, 0 through q.  For an arc, flag names the point of the vertical line
// through q with the arc, bit 2 as given with the vertical line (upward)
// first.
double LINE_ARC_SEG_prd_compare_vertical_ps(const PNT2_s* q, const PNT2_s* p, const LINE_ARC_SEG_s* piece,
                                            int flag);
// Positive when piece 1 passes above piece 2 at abscissa x, negative below, 0
// when they meet there; y_range holds a lowest and a highest ordinate that
// bracket both pieces there.  The flags name arc points as for
// LINE_ARC_SEG_prd_compare_vertical_ps.  Two lines, one of them vertical,
// give 0.
double LINE_ARC_SEG_prd_compare_vertical_ss(double x, const double y_range[2], const PNT2_s* p1,
                                            const LINE_ARC_SEG_s* piece1, int flag1, const PNT2_s* p2,
                                            const LINE_ARC_SEG_s* piece2, int flag2);

// ---------------------------------------------------------------------------
// Order of pieces around a common point
//
// Each piece leaves the common point forward (toward its end) or backward
// (toward its start).  The answer is +1 when piece 0 leaves counter-clockwise
// of piece 1 (turning from piece 1's direction to piece 0's is a left turn of
// less than a half turn), -1 when clockwise, 0 when both leave along the same
// curve in the same direction.  Pieces with the same tangent are ordered by
// curvature (the one turning more to the left is counter-clockwise).
//
// Opposite directions.  Pieces that leave in exactly opposite directions are
// not ordered by this predicate:
//   - along the same line or circle the answer is 2, whatever the touching
//     switch;
//   - touching pieces (a common tangent, different curves) give 2 with the
//     touching switch at 0.  With the switch set they give +1 when the piece
//     that curves more (smaller radius; an arc rather than a line) turns left
//     as it leaves the point, -1 when it turns right.  That answer is the same
//     with the pieces exchanged: it says which way the pair bends, not which
//     piece comes first, so a caller that sorts must order such pairs itself
//     (by direction, say).
//
// The common point is q when piece2 is null.  Otherwise it is the point where
// both pieces meet the third piece (p2, piece2), and q may be null.  When the
// meeting lines cannot fix the point, the flag names it: bit 4 a tangency,
// bit 2 as the exact intersection gives it for the pieces (X, third piece) in
// THAT order, X being
//   - piece 1 when the third piece is piece 0 itself, or when piece 0 is an
//     arc, piece 1 a line and the third piece an arc of piece 0's circle;
//   - otherwise the arc A among the two pieces (piece 1 when it is an arc,
//     else piece 0).
// A caller that holds the flag with the third piece first passes
// LINE_ARC_SEG_intxn_flag_for_other_order(flag).  Two lines need no flag.
// ---------------------------------------------------------------------------
int LINE_ARC_SEG_prd_compare_around(const PNT2_s* p0, const LINE_ARC_SEG_s* piece0, bool forward0,
                                    const PNT2_s* p1, const LINE_ARC_SEG_s* piece1, bool forward1,
                                    const PNT2_s* p2, const LINE_ARC_SEG_s* piece2, int flag, int touching,
                                    const PNT2_s* q);
// True when the pieces have the same form: two lines of the same direction
// (not necessarily the same line), or two arcs of the same centre and turning
// sense (whatever their radii).
bool LINE_ARC_SEG_prd_seg_forms_are_identical(const PNT2_s* p0, const LINE_ARC_SEG_s* piece0, const PNT2_s* p1,
                                              const LINE_ARC_SEG_s* piece1);

// Sign of the area of a closed loop on the grid, counter-clockwise positive:
// the polygon of its vertices (whole numbers of at most 31 bits) summed
// exactly, plus `arc_sum`, twice the areas between its arcs and their chords,
// known to within `arc_error`.  0 when the total cannot be told from zero (a
// polygon of no area without arcs, or arcs that nearly cancel it).
int LINE_ARC_SEG_prd_grid_loop_area_sign(const PNT2_s* points, int count, double arc_sum, double arc_error);

MERROW1_API_END
