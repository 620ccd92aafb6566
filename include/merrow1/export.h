// Marks what an installed header declares as the library's exports.
//
// The library is compiled with hidden visibility: a name is exported only
// when a header declares it between MERROW1_API_BEGIN and MERROW1_API_END.
// Every installed header puts its declarations there, so its functions, data,
// and classes with their vtables and type information keep default visibility
// wherever they are defined; everything else the library defines stays inside
// it.  Each flavour's export list (cmake/exports/) then states the exceptions.
// Programs that include the headers are not affected.
#pragma once

#if defined(__GNUC__)
#define MERROW1_API_BEGIN _Pragma("GCC visibility push(default)")
#define MERROW1_API_END _Pragma("GCC visibility pop")
#else
#define MERROW1_API_BEGIN
#define MERROW1_API_END
#endif
