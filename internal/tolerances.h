// Tolerances that modules of several folders apply by one rule.  Each is
// the literal the rule gives; the host's tolerances are read from the host.
#pragma once

namespace merrow1 {

// A grid map over some data is made over the data's box grown on every side
// by this fraction of the box's larger extent (plus what the caller adds for
// its offsets), so that no data lies on the edge of the grid.
constexpr double kGridMarginFraction = 1e-5;

// The gap with which the library closes the chains it builds (CHAIN_close):
// ends this close are merged, farther ends get a closing line.
constexpr double kCloseGap = 1e-8;

}  // namespace merrow1
