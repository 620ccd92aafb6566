// Recording stand-in of the regeneration of one object.
#include <glimra/regen_object.h>
#include <glimra/testing.h>

void DSS_REGEN_regen_object(tag_t object) { glimra_test::record({"regen_object", 0, {static_cast<int>(object)}, {}}); }
