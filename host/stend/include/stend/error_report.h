// Host system services: reporting a caught error without raising it.
#pragma once

#include <stend/error.h>

// Reports the error to the user with the file and line where it was caught
// (the annotation) and clears the host's pending error state, so the
// operation can go on.
void ERROR_report_and_clear(const char* file, int line, const Korvo::Error::Exception& error);
