// Test controls of the CAM setup and operation stand-ins.  Not part of the
// host's interface.
#pragma once

#include <pellam/opr.h>
#include <pellam/setup.h>

#include <vector>

namespace pellam_test {

// A new setup object (delete it with OM_delete_object).
SETUP* create_setup();

// A new operation without parameters, and its deletion.
OPR* create_operation();
void delete_operation(OPR* operation);
// Operations made and not deleted.
long live_operations();
// Array writes the operation received.
int operation_writes(const OPR* operation);
// The stored arrays (empty when unset or of the other kind).
std::vector<int> int_array_param(const OPR* operation, int param);
std::vector<double> double_array_param(const OPR* operation, int param);

}  // namespace pellam_test
