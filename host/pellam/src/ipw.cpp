// Stand-in of the workpiece holders, processors and blank providers of
// operations, kept in tables by operation.
#include <pellam/ipw.h>
#include <pellam/testing_ipw.h>
#include <pellam/testing_opr.h>

#include <map>
#include <memory>
#include <utility>

class PATH_ipw_grid {
public:
    std::string name;
    int option;
};

struct PATH_ipw_holder_s {
    PATH_ipw_status_t status = 0;
    std::unique_ptr<PATH_ipw_grid> grids[2];
    int updates = 0;
};

namespace {

std::map<const OPR*, PATH_ipw_holder_s> g_holders;
std::map<const OPR*, PMOP_fc> g_processors;
std::map<const OPR*, OPR*> g_providers;
std::map<std::pair<const OPR*, int>, std::pair<int, int>> g_states;
std::vector<std::string> g_calls;

bool valid(Korvo::PATH_entity::IpwType type) { return type == 0 || type == 1; }

}  // namespace

PATH_ipw_holder_s* OPR_ask_ipw_holder(OPR* operation) {
    auto it = g_holders.find(operation);
    return it == g_holders.end() ? nullptr : &it->second;
}

void OPR_update_ipw_holder(OPR* operation) {
    if (PATH_ipw_holder_s* holder = OPR_ask_ipw_holder(operation)) ++holder->updates;
}

PATH_ipw_grid* PATH_ipw_holder_ask_grid(PATH_ipw_holder_s* holder, Korvo::PATH_entity::IpwType type) {
    return holder && valid(type) ? holder->grids[type].get() : nullptr;
}

PATH_ipw_grid* PATH_ipw_holder_create_grid(PATH_ipw_holder_s* holder, Korvo::PATH_entity::IpwType type,
                                           const char* name, int option) {
    g_calls.push_back("create " + std::to_string(static_cast<int>(type)));
    if (!holder || !valid(type)) return nullptr;
    holder->grids[type].reset(new PATH_ipw_grid{name ? name : "", option});
    return holder->grids[type].get();
}

void PATH_ipw_holder_delete_grid(PATH_ipw_holder_s* holder, Korvo::PATH_entity::IpwType type) {
    g_calls.push_back("delete " + std::to_string(static_cast<int>(type)));
    if (holder && valid(type)) holder->grids[type].reset();
}

PATH_ipw_status_t PATH_ipw_holder_ask_status(const PATH_ipw_holder_s* holder) { return holder ? holder->status : 0; }

void PATH_ipw_holder_set_status(PATH_ipw_holder_s* holder, PATH_ipw_status_t status) {
    g_calls.push_back("set_status " + std::to_string(status));
    if (holder) holder->status = status;
}

PMOP_fc* OPR_ask_pmop_fc(OPR* operation) {
    auto it = g_processors.find(operation);
    return it == g_processors.end() ? nullptr : &it->second;
}

OPR* OPR_get_blank_provider(OPR* operation) {
    auto it = g_providers.find(operation);
    return it == g_providers.end() ? nullptr : it->second;
}

int OPR_ask_param_state(const OPR* object, int param) {
    auto it = g_states.find({object, param});
    return it == g_states.end() ? 0 : it->second.first;
}

int OPR_ask_param_inherited_state(const OPR* object, int param) {
    auto it = g_states.find({object, param});
    return it == g_states.end() ? 0 : it->second.second;
}

namespace pellam_test {

void give_ipw_holder(OPR* operation, PATH_ipw_status_t status) { g_holders[operation].status = status; }

int ipw_update_requests(const OPR* operation) {
    auto it = g_holders.find(operation);
    return it == g_holders.end() ? 0 : it->second.updates;
}

std::string ipw_grid_name(const PATH_ipw_grid* grid) { return grid ? grid->name : std::string(); }
int ipw_grid_option(const PATH_ipw_grid* grid) { return grid ? grid->option : 0; }
const std::vector<std::string>& ipw_holder_calls() { return g_calls; }

void make_pmop_fc(OPR* operation, int processorType) {
    g_processors.erase(operation);
    g_processors.emplace(operation, PMOP_fc(processorType));
}

OPR* give_blank_provider(OPR* operation) {
    auto it = g_providers.find(operation);
    if (it != g_providers.end()) return it->second;
    OPR* provider = create_operation();
    g_providers[operation] = provider;
    return provider;
}

void set_param_states(const OPR* object, int param, int state, int inheritedState) {
    g_states[{object, param}] = {state, inheritedState};
}

void reset_ipw() {
    for (auto& entry : g_providers) delete_operation(entry.second);
    g_providers.clear();
    g_holders.clear();
    g_processors.clear();
    g_states.clear();
    g_calls.clear();
}

}  // namespace pellam_test
