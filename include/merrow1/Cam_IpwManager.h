// In-process workpieces of an operation: creating, finding and deleting them
// in the operation's workpiece holder, and the kind of workpiece an operation
// uses.  Every entry that takes a type does nothing (or answers null, false
// or 0) for a type other than 0 and 1, and for an operation without a holder.
#pragma once

#include <merrow1/export.h>
#include <pellam/ipw.h>

MERROW1_API_BEGIN

namespace Korvo {
namespace Cam {

class IpwManager {
public:
    // Makes the workpiece of the type with the name and option and marks the
    // holder current (status 2).  When the holder is current already and has
    // a workpiece of the type, nothing is done; when it is not current, both
    // workpieces are deleted first.
    static void CreateIpw(OPR* operation, PATH_entity::IpwType type, char* name, int option);
    static void DeleteIpw(OPR* operation, PATH_entity::IpwType type);
    // Deletes the workpieces of types 0 and 1.
    static void DeleteAllIpw(OPR* operation);
    static PATH_ipw_grid* GetIpw(OPR* operation, PATH_entity::IpwType type);
    static bool HasIpw(OPR* operation, PATH_entity::IpwType type);
    // The holder's status; 0 without a holder.
    static PATH_ipw_status_t GetIpwStatus(OPR* operation);
    // 1 when HVEX_CAM_USE_RGEIPW is exactly "1", the operation is a PMOP_fc
    // with processor type 1 or 2, and its blank provider (if any) does not
    // report state 4 for parameter 380 to one state query while the other
    // answers other than 2; else 0.
    static PATH_entity::IpwType GetIpwType(OPR* operation);
};

}  // namespace Cam
}  // namespace Korvo

MERROW1_API_END
