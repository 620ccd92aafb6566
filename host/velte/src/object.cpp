// The host's base object class descriptor.
#include <velte/object.h>

namespace {
OBJECT_entry_t g_base[OBJECT_BASE_ENTRIES];
bool g_ready = false;
}  // namespace

void OBJECT_init_class() {
    if (g_ready) return;
    g_base[0] = OBJECT_class_number_entry(OBJECT_BASE_CLASS_NUMBER);
    g_ready = true;
}

const OBJECT_entry_t* OBJECT_ask_descriptor() {
    OBJECT_init_class();
    return g_base;
}
