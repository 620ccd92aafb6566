// Host display: regeneration of one object's display.
#pragma once

typedef unsigned int tag_t;

// Redraws the object.  The stand-in records the call as "regen_object" with
// the tag as its one int (see <glimra/testing.h>).
void DSS_REGEN_regen_object(tag_t object);
