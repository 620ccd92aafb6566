// Read before every source of the library (merrow1_object_library passes it
// with -include).  The library is compiled with hidden visibility; the host's
// classes below have no virtual function defined out of line, so every user
// emits their vtables and type information itself.  Declared with default
// visibility here, before anything else includes them, the library's copies
// stay exported and merge with the host's: an exception the library throws
// (Korvo::Error::Severe), a persistent object the host inspects
// (Korvo::OM::Object) and a parameter object the engines read (Korvo::PARAM)
// have one type on both sides.
#pragma once

#pragma GCC visibility push(default)
#include <stend/error.h>
#include <stend/om.h>
#include <pellam/param.h>
#pragma GCC visibility pop
