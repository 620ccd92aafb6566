// Host parts: the units of a part.
#pragma once

typedef unsigned int tag_t;

// The units of the part (the null tag: the work part): 1 for metric
// (millimetres), any other value for inches.
int PART_ask_units(tag_t part);
