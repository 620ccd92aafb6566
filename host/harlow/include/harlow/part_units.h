// Host parts: the units of the part that holds an object.
#pragma once

typedef unsigned int tag_t;

// The units of the part that owns the object (1 metric, any other value
// inches); the work part's units (PART_ask_units) for an object the host
// places in no other part.
int PART_ask_units_of_object(tag_t object);
