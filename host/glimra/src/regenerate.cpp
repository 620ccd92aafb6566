// Recording stand-in of the display regeneration.
#include <glimra/regenerate.h>
#include <glimra/testing.h>

void DISPLAY_regenerate() { glimra_test::record({"regenerate", 0, {}, {}}); }
