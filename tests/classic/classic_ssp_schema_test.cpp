// libmerrow1-classic: the spreadsheet schema of the earlier builds.
#define SSP_SCHEMA_TEST_HIDDEN_CLASS
#include "support/ssp_schema_tests.h"
