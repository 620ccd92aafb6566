// Exact orientation of three points given as doubles.
//
// The determinant (bx - ax)(cy - ay) - (by - ay)(cx - ax) is first evaluated in
// doubles.  Each of the two differences per product carries a relative error
// of at most eps (u = 2^-53), each product adds one more, and the final
// subtraction one more, so the computed value differs from the true one by at
// most (3u + 16u^2)(|left| + |right|); when the value is larger than that
// bound its sign is the true sign.  Otherwise the differences are split into
// exact two-term sums, the products into exact two-term products (fma), and
// the sixteen terms are summed into a non-overlapping expansion whose most
// significant term carries the sign.
#include "exact/orient2d.h"

#include <cfloat>
#include <cmath>

namespace {

inline void two_sum(double a, double b, double& s, double& e) {
    s = a + b;
    const double bv = s - a;
    const double av = s - bv;
    e = (a - av) + (b - bv);
}

inline void two_diff(double a, double b, double& d, double& e) {
    d = a - b;
    const double bv = a - d;
    const double av = d + bv;
    e = (a - av) + (bv - b);
}

inline void two_product(double a, double b, double& p, double& e) {
    p = a * b;
    e = std::fma(a, b, -p);
}

// Adds one term to a non-overlapping expansion of n terms (least significant
// first) and answers the new length; zero terms are dropped.
int grow_expansion(double* e, int n, double b) {
    double q = b;
    int out = 0;
    for (int i = 0; i < n; ++i) {
        double s, err;
        two_sum(q, e[i], s, err);
        q = s;
        if (err != 0.0) e[out++] = err;
    }
    if (q != 0.0) e[out++] = q;
    return out;
}

int exact_sign(const double a[2], const double b[2], const double c[2]) {
    double d[4][2];  // bx - ax, cy - ay, by - ay, cx - ax as exact pairs
    two_diff(b[0], a[0], d[0][0], d[0][1]);
    two_diff(c[1], a[1], d[1][0], d[1][1]);
    two_diff(b[1], a[1], d[2][0], d[2][1]);
    two_diff(c[0], a[0], d[3][0], d[3][1]);
    double e[32];
    int n = 0;
    for (int s = 0; s < 2; ++s) {
        const double* x = d[2 * s];
        const double* y = d[2 * s + 1];
        const double sign = s == 0 ? 1.0 : -1.0;
        for (int i = 0; i < 2; ++i) {
            for (int j = 0; j < 2; ++j) {
                double p, err;
                two_product(x[i], y[j], p, err);
                n = grow_expansion(e, n, sign * p);
                n = grow_expansion(e, n, sign * err);
            }
        }
    }
    if (n == 0) return 0;
    return e[n - 1] > 0.0 ? 1 : -1;
}

// Sign of a sum of products of differences, sum over k of
// sign_k (x1_k - x0_k)(y1_k - y0_k), for at most four products: each
// difference is split into an exact two-term sum, each product of two such
// sums into four exact two-term products, and the terms are summed into a
// non-overlapping expansion whose most significant term carries the sign.
int exact_products_sign(const double (*x)[2], const double (*y)[2], const double* sign, int count) {
    double e[4 * 16 + 1];
    int n = 0;
    for (int k = 0; k < count; ++k) {
        double dx[2], dy[2];
        two_diff(x[k][1], x[k][0], dx[0], dx[1]);
        two_diff(y[k][1], y[k][0], dy[0], dy[1]);
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j) {
                double p, err;
                two_product(dx[i], dy[j], p, err);
                n = grow_expansion(e, n, sign[k] * p);
                n = grow_expansion(e, n, sign[k] * err);
            }
    }
    if (n == 0) return 0;
    return e[n - 1] > 0.0 ? 1 : -1;
}

// The same sum in doubles when its error bound decides the sign, else 2.
// Each computed product carries a relative error of at most 3u + 3u^2 + u^3
// (two differences and the product), and summing four terms adds at most
// 3u of the sum of their sizes; 8u of the computed sizes covers both.
int filtered_products_sign(const double (*x)[2], const double (*y)[2], const double* sign, int count) {
    double sum = 0.0, size = 0.0;
    for (int k = 0; k < count; ++k) {
        const double t = (x[k][1] - x[k][0]) * (y[k][1] - y[k][0]);
        sum += sign[k] * t;
        size += std::fabs(t);
    }
    const double bound = 8.0 * (DBL_EPSILON / 2.0) * size;
    if (sum > bound) return 1;
    if (-sum > bound) return -1;
    return 2;
}

int products_sign(const double (*x)[2], const double (*y)[2], const double* sign, int count) {
    const int filtered = filtered_products_sign(x, y, sign, count);
    return filtered != 2 ? filtered : exact_products_sign(x, y, sign, count);
}

}  // namespace

int ORIENT2D_sign(const double a[2], const double b[2], const double c[2]) {
    const double left = (b[0] - a[0]) * (c[1] - a[1]);
    const double right = (b[1] - a[1]) * (c[0] - a[0]);
    const double det = left - right;
    const double u = DBL_EPSILON / 2.0;
    const double bound = (3.0 * u + 16.0 * u * u) * (std::fabs(left) + std::fabs(right));
    if (det > bound) return 1;
    if (-det > bound) return -1;
    return exact_sign(a, b, c);
}

int ORIENT2D_dot_sign(const double a[2], const double b[2], const double c[2]) {
    const double x[2][2] = {{a[0], b[0]}, {a[1], b[1]}};
    const double y[2][2] = {{a[0], c[0]}, {a[1], c[1]}};
    const double sign[2] = {1.0, 1.0};
    return products_sign(x, y, sign, 2);
}

int ORIENT2D_distance_sign(const double c[2], const double s[2], const double p[2]) {
    const double x[4][2] = {{c[0], p[0]}, {c[1], p[1]}, {c[0], s[0]}, {c[1], s[1]}};
    const double sign[4] = {1.0, 1.0, -1.0, -1.0};
    return products_sign(x, x, sign, 4);
}
