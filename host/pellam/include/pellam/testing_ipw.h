// Test controls of the workpiece, processor and blank-provider stand-ins
// (<pellam/ipw.h>).  Not part of the host's interface.
#pragma once

#include <pellam/ipw.h>

#include <string>
#include <vector>

namespace pellam_test {

// Gives the operation a holder with the status (no workpieces).
void give_ipw_holder(OPR* operation, PATH_ipw_status_t status);
// Update requests the operation received.
int ipw_update_requests(const OPR* operation);
// The name and option a workpiece was made with.
std::string ipw_grid_name(const PATH_ipw_grid* grid);
int ipw_grid_option(const PATH_ipw_grid* grid);
// Holder calls, in order: "create 0", "delete 1", "set_status 2", ...
const std::vector<std::string>& ipw_holder_calls();

// Makes the operation a PMOP_fc with the processor type.
void make_pmop_fc(OPR* operation, int processorType);
// Gives the operation a blank provider (an object without parameters).
OPR* give_blank_provider(OPR* operation);
// The answers of the two state queries for the object's parameter.
void set_param_states(const OPR* object, int param, int state, int inheritedState);

// Forgets holders, workpieces, processors and blank providers (deleting the
// providers made).
void reset_ipw();

}  // namespace pellam_test
