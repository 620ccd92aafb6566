// Host utilities: the listing window.
#pragma once

// Writes text to the listing window (captured by the stand-in).
void BASE_LISTWIN_write(const char* text);
