// The line and arc pieces are part of the public interface; the kernel
// sources include them by this path.
#pragma once

#include <merrow1/line_arc_seg.h>
