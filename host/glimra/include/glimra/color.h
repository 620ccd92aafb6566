// Host display: colours of the displayed part.
#pragma once

// The colour of the displayed part's palette nearest to host colour number
// `colour`.
int COLOR_ask_closest_color_in_displayed_part(int colour);
