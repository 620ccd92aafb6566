// A polyline the engines take: its points and the vector of pointers to them.
#pragma once

#include <quorn/quorn.h>

#include <utility>
#include <vector>

namespace engines_test {

struct Polyline {
    std::vector<Korvo::Math::Point3> points;
    std::vector<Korvo::Math::Point3*> ptrs;
    explicit Polyline(std::vector<Korvo::Math::Point3> p) : points(std::move(p)) {
        for (Korvo::Math::Point3& q : points) ptrs.push_back(&q);
    }
    // A copy points at its own points.
    Polyline(const Polyline& o) : Polyline(o.points) {}
    Polyline& operator=(const Polyline&) = delete;
    int segments() const { return static_cast<int>(points.size()) - 1; }
};

}  // namespace engines_test
