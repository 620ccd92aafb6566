// Host display: regeneration of the graphics window.
#pragma once

// Redraws the displayed part and clears what the temporary display drew.
// The stand-in records the call as "regenerate" (see <glimra/testing.h>).
void DISPLAY_regenerate();
