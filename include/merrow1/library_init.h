// Initialisation entry the host calls once it has loaded the library (it may
// call it again): starts the spreadsheet module and registers the message
// table of operation warnings (3880000).  The persistent classes register
// themselves when the library loads.
#pragma once

#include <merrow1/export.h>

MERROW1_API_BEGIN

void LIBMERROW1_init_hvufun(void);

MERROW1_API_END
