// Library-internal: many chain locations among chains that do not change
// while they are asked (the containment tree of a region set, say).
#pragma once

#include <merrow1/chain_distance.h>
#include <merrow1/chain_segments.h>

#include <velte/ring.h>

#include <array>
#include <unordered_map>
#include <vector>

// Answers ChainChainLocation(chain, closed, tolerance) exactly, reading what
// the location reads of each chain and that depends on its geometry alone
// (the midpoints it tests, its set approximation tolerance, the box of its
// point locations when it has no cached box) once per chain instead of once
// per call.  The chains' geometry must stay as it is while the object lives.
class CHAIN__ChainLocations {
public:
    CHAIN__ChainLocations() = default;
    CHAIN__ChainLocations(const CHAIN__ChainLocations&) = delete;
    CHAIN__ChainLocations& operator=(const CHAIN__ChainLocations&) = delete;

    CHAIN_LOCATION locate(const RING_header_s* chain, RING_header_s* closed, const double* tolerance);

private:
    struct Facts {
        bool points_read = false;
        std::vector<std::array<double, 2>> points;
        bool approximation_read = false;
        double set_approximation = 0.0;
        bool box_read = false;
        bool boxed = false;
        CHAIN_BOX_s box{};
    };
    Facts& facts_of(const RING_header_s* chain);
    double approximation(RING_header_s* chain);
    const std::vector<std::array<double, 2>>& points(const RING_header_s* chain);
    CHAIN_LOCATION point_location(RING_header_s* closed, const double point[2], double tolerance);

    std::unordered_map<const RING_header_s*, Facts> facts_;
};
