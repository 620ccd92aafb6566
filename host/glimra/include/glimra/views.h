// Host display: the host's view list and the flush of temporary display.
// The stand-in records every call (see <glimra/testing.h>).
#pragma once

#include <glimra/display.h>

// The views of the host's view list: answers their number and points *views
// at them.  The list stays valid until the next call.
int DSS_VIEW_ask_view_list(const tag_t** views);

// Flushes what the temporary display drew to the screen.
void cg009();
