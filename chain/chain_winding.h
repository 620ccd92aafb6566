// Library-internal: the winding number of a closed chain about a point.
#pragma once

#include <velte/ring.h>

// Winding number of the closed chain about a point that lies off it, arcs
// counted by their sweep (counter-clockwise positive).
int CHAIN__winding_number(const RING_header_s* closed, const double p[2]);
