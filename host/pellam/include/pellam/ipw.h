// Host in-process workpieces of an operation: the holder that keeps one
// workpiece grid per type and a status, the operation's processor and its
// blank provider.
#pragma once

#include <pellam/opr.h>

namespace Korvo {
struct PATH_entity {
    // The two kinds of in-process workpiece; any other value is no type.
    enum IpwType : int { IPW_TYPE_0 = 0, IPW_TYPE_1 = 1 };
};
}  // namespace Korvo

// Status of an operation's workpieces.
typedef int PATH_ipw_status_t;
enum { PATH_IPW_STATUS_CURRENT = 2 };

// One in-process workpiece (opaque).
class PATH_ipw_grid;
// The workpiece holder of an operation (opaque).
struct PATH_ipw_holder_s;

// The operation's holder, or null when it has none.
PATH_ipw_holder_s* OPR_ask_ipw_holder(OPR* operation);
// Asks the operation to bring its holder up to date.
void OPR_update_ipw_holder(OPR* operation);

// The holder's workpiece of the type, or null.
PATH_ipw_grid* PATH_ipw_holder_ask_grid(PATH_ipw_holder_s* holder, Korvo::PATH_entity::IpwType type);
// Makes the workpiece of the type with the name and option (replacing one
// there); returns it.
PATH_ipw_grid* PATH_ipw_holder_create_grid(PATH_ipw_holder_s* holder, Korvo::PATH_entity::IpwType type,
                                           const char* name, int option);
// Deletes the workpiece of the type (none: nothing).
void PATH_ipw_holder_delete_grid(PATH_ipw_holder_s* holder, Korvo::PATH_entity::IpwType type);
PATH_ipw_status_t PATH_ipw_holder_ask_status(const PATH_ipw_holder_s* holder);
void PATH_ipw_holder_set_status(PATH_ipw_holder_s* holder, PATH_ipw_status_t status);

// An operation of the surface-contouring kind, with its processor.
class PMOP_fc {
public:
    explicit PMOP_fc(int processorType) : m_processorType(processorType) {}
    int GetProcessorType() const { return m_processorType; }

private:
    int m_processorType;
};
// The operation as a PMOP_fc, or null when it is not one.
PMOP_fc* OPR_ask_pmop_fc(OPR* operation);

// The object that provides the operation's blank (a parameter holder like
// an operation), or null.
OPR* OPR_get_blank_provider(OPR* operation);
// Two queries of a parameter's state (the meaning of the states is the
// host's); 0 for a parameter without one.
int OPR_ask_param_state(const OPR* object, int param);
int OPR_ask_param_inherited_state(const OPR* object, int param);
