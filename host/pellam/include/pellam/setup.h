// Host CAM setup: the object that holds a part's CAM data.  An object of the
// host's object manager, so references to it are saved as object ids.
#pragma once

#include <stend/om.h>

class SETUP : public Korvo::OM::MethodicObject {
protected:
    SETUP() = default;
    ~SETUP() override = default;

public:
    static Korvo::OM::Object* CreateCallback(void* memory, int, void* data);
};

// Class of SETUP objects (registered when the library loads).
Korvo::OM::ClassId SETUP_ask_class_id();
