// Steps of the line fit that other modules run on their own.
#pragma once

#include <velte/ring.h>

// The spike pass of the line fit alone, with corridor half-width `tolerance`,
// no vertex filter and no material-side test: a line vertex where the chain
// doubles back is deleted when it lies in the corridor from the vertex before
// to the one after.  Nothing for a null chain or one of fewer than 4 vertices.
void CHAIN__cut_doubling_back(RING_header_s* chain, double tolerance);
