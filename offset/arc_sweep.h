// The largest sweep of an arc the offset modules keep whole; the signed
// sweep itself (arc_signed_sweep) is read by chain/chain_record.h.
#pragma once

#include "chain/chain_record.h"

namespace merrow1 {

// Pi less one degree: arcs sweeping more are split in two by the offset
// modules.
constexpr double kArcSplitSweep = 3.12413936106985;

}  // namespace merrow1
