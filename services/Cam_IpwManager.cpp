// In-process workpieces of operations, through the operation's holder.
#include <merrow1/Cam_IpwManager.h>

#include <stend/environment_variable.h>

namespace {

using Korvo::PATH_entity;

bool valid(PATH_entity::IpwType type) { return type == PATH_entity::IPW_TYPE_0 || type == PATH_entity::IPW_TYPE_1; }

// The operation's holder, brought up to date before it is used; null when
// the operation has none.
PATH_ipw_holder_s* holder_of(OPR* operation) {
    if (!operation) return nullptr;
    PATH_ipw_holder_s* holder = OPR_ask_ipw_holder(operation);
    if (holder) OPR_update_ipw_holder(operation);
    return holder;
}

// The variable that chooses the second kind, made on first use and
// destroyed at unload.
const Korvo::System::EnvironmentVariable& rge_ipw_variable() {
    static const Korvo::System::EnvironmentVariable variable("HVEX_CAM_USE_RGEIPW");
    return variable;
}

const int kBlankStateParam = 380;

}  // namespace

namespace Korvo {
namespace Cam {

void IpwManager::CreateIpw(OPR* operation, PATH_entity::IpwType type, char* name, int option) {
    if (!valid(type)) return;
    PATH_ipw_holder_s* holder = holder_of(operation);
    if (!holder) return;
    if (PATH_ipw_holder_ask_status(holder) == PATH_IPW_STATUS_CURRENT) {
        if (PATH_ipw_holder_ask_grid(holder, type)) return;
    } else {
        PATH_ipw_holder_delete_grid(holder, PATH_entity::IPW_TYPE_0);
        PATH_ipw_holder_delete_grid(holder, PATH_entity::IPW_TYPE_1);
    }
    PATH_ipw_holder_create_grid(holder, type, name, option);
    PATH_ipw_holder_set_status(holder, PATH_IPW_STATUS_CURRENT);
}

void IpwManager::DeleteIpw(OPR* operation, PATH_entity::IpwType type) {
    if (!valid(type)) return;
    if (PATH_ipw_holder_s* holder = holder_of(operation)) PATH_ipw_holder_delete_grid(holder, type);
}

void IpwManager::DeleteAllIpw(OPR* operation) {
    DeleteIpw(operation, PATH_entity::IPW_TYPE_0);
    DeleteIpw(operation, PATH_entity::IPW_TYPE_1);
}

PATH_ipw_grid* IpwManager::GetIpw(OPR* operation, PATH_entity::IpwType type) {
    if (!valid(type)) return nullptr;
    PATH_ipw_holder_s* holder = holder_of(operation);
    return holder ? PATH_ipw_holder_ask_grid(holder, type) : nullptr;
}

bool IpwManager::HasIpw(OPR* operation, PATH_entity::IpwType type) { return GetIpw(operation, type) != nullptr; }

PATH_ipw_status_t IpwManager::GetIpwStatus(OPR* operation) {
    PATH_ipw_holder_s* holder = holder_of(operation);
    return holder ? PATH_ipw_holder_ask_status(holder) : 0;
}

PATH_entity::IpwType IpwManager::GetIpwType(OPR* operation) {
    PATH_entity::IpwType type = rge_ipw_variable().Equals("1") ? PATH_entity::IPW_TYPE_1 : PATH_entity::IPW_TYPE_0;
    const PMOP_fc* processor = operation ? OPR_ask_pmop_fc(operation) : nullptr;
    if (!processor || (processor->GetProcessorType() != 1 && processor->GetProcessorType() != 2))
        type = PATH_entity::IPW_TYPE_0;
    if (const OPR* provider = operation ? OPR_get_blank_provider(operation) : nullptr) {
        const int state = OPR_ask_param_state(provider, kBlankStateParam);
        const int inherited = OPR_ask_param_inherited_state(provider, kBlankStateParam);
        if ((state == 4 && inherited != 2) || (inherited == 4 && state != 2)) type = PATH_entity::IPW_TYPE_0;
    }
    return type;
}

}  // namespace Cam
}  // namespace Korvo
