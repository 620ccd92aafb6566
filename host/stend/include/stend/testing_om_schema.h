// Test controls of the older object-manager calls (<stend/om_schema.h>) of
// the libstend stand-in.  Not part of the host's interface.
#pragma once

#include <stend/om_schema.h>

#include <string>
#include <vector>

namespace stend_test {

// The calls since the last om_schema_reset_calls, as
// "name(arguments)": create_schema(SSP), create_class(SSP,SSP,OM_methodic_object),
// set_class_property(SSP,4096), create_attribute(SSP,key_name,13,513),
// create_constrained_int_attribute(SSP,type,7,1,0,2), find_schema(SSP),
// find_class(SSP,SSP), find_attribute(SSP,isa),
// init_class_descriptor(OM_methodic_object,3,12), set_class_descriptor(SSP).
const std::vector<std::string>& om_schema_calls();
void om_schema_reset_calls();
// The bounds of a constrained attribute; false for any other.
bool om_schema_attribute_bounds(OM_attribute_t attribute, long* lower, long* upper);

}  // namespace stend_test
