// Host parts: the units of a part.
#pragma once

typedef unsigned int tag_t;

// The units of the part (the null tag: the work part): 1 for metric
// (millimetres), any other value for inches.
int PART_ask_units(tag_t part);
// The factors between the part's lengths and kernel lengths: factors[0]
// takes part lengths into the kernel (default 1), factors[1] back.
int PART_ask_vj_scale_factors(tag_t part, double factors[2]);
