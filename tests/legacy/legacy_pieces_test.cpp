// libmerrow1-legacy: the small routines and cut-parameter pieces of the
// earlier builds.
#include "support/legacy_pieces_tests.h"
