// Developer driver of snap rounding over test files in the current
// directory.
#pragma once

#include <merrow1/export.h>

MERROW1_API_BEGIN

// Reads "snap_in.txt": records introduced by the token "pt" (x and y as
// integers, then a value and a tag: "%d %d", "%le %d") or "seg" (three
// integers: start point, end point, id); other tokens are skipped, and a
// record that comes up short ends the reading (the complete records before
// it are kept).  The points and segments are snap-rounded by a new
// snap-rounding object, which is deleted again, and "snap_out.txt" receives
// one line "pt %d %d %f %d\n" per point, then one line "seg %d %d %d\n" per
// segment.  Without "snap_in.txt" nothing is written.
void SNAP_ROUND__test();

MERROW1_API_END
