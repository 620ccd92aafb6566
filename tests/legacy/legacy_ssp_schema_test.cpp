// libmerrow1-legacy: the spreadsheet schema of the earlier builds.
#include "support/ssp_schema_tests.h"
