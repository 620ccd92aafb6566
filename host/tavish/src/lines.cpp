// Recording stand-in of the host's line intersection.
#include <tavish/geometry.h>
#include <tavish/testing.h>

#include "recording.h"

void h600(const double a1[2], const double a2[2], const double b1[2], const double b2[2], double point[2],
          int* count) {
    const double da[2] = {a2[0] - a1[0], a2[1] - a1[1]}, db[2] = {b2[0] - b1[0], b2[1] - b1[1]};
    const double w[2] = {b1[0] - a1[0], b1[1] - a1[1]};
    const double denominator = da[0] * db[1] - da[1] * db[0];
    int n;
    if ((da[0] == 0.0 && da[1] == 0.0) || (db[0] == 0.0 && db[1] == 0.0)) {
        n = 0;
    } else if (denominator == 0.0) {
        n = w[0] * da[1] - w[1] * da[0] == 0.0 ? 1 : 0;
        if (n == 1 && point) point[0] = a1[0], point[1] = a1[1];
    } else {
        const double s = (w[0] * db[1] - w[1] * db[0]) / denominator;
        if (point) point[0] = a1[0] + s * da[0], point[1] = a1[1] + s * da[1];
        n = 2;
    }
    if (count) *count = n;
    std::vector<double> values = {a1[0], a1[1], a2[0], a2[1], b1[0], b1[1], b2[0], b2[1], double(n)};
    if (n == 2 && point) values.insert(values.end(), {point[0], point[1]});
    tavish_internal::record({"h600", 0, 0, values});
}
