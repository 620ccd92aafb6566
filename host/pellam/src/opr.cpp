// Stand-in CAM operation: numbered array parameters of ints or doubles.
#include <pellam/opr.h>
#include <pellam/testing_opr.h>

#include <map>

class OPR {
public:
    struct Param {
        bool is_int;
        std::vector<int> ints;
        std::vector<double> doubles;
    };
    std::map<int, Param> params;
    int writes = 0;
};

namespace {

long g_live_operations = 0;

const OPR::Param* find(const OPR* operation, int param) {
    if (!operation) return nullptr;
    auto it = operation->params.find(param);
    return it == operation->params.end() ? nullptr : &it->second;
}

template <class T>
int copy_out(const std::vector<T>& from, int capacity, T* values) {
    if (!values || capacity <= 0) return 0;
    int n = static_cast<int>(from.size()) < capacity ? static_cast<int>(from.size()) : capacity;
    for (int i = 0; i < n; ++i) values[i] = from[static_cast<size_t>(i)];
    return n;
}

}  // namespace

int OPR_ask_array_param_length(const OPR* operation, int param) {
    const OPR::Param* p = find(operation, param);
    if (!p) return 0;
    return static_cast<int>(p->is_int ? p->ints.size() : p->doubles.size());
}

int OPR_ask_int_array_param(const OPR* operation, int param, int capacity, int* values) {
    const OPR::Param* p = find(operation, param);
    return p && p->is_int ? copy_out(p->ints, capacity, values) : 0;
}

int OPR_ask_double_array_param(const OPR* operation, int param, int capacity, double* values) {
    const OPR::Param* p = find(operation, param);
    return p && !p->is_int ? copy_out(p->doubles, capacity, values) : 0;
}

int OPR_set_int_array_param(OPR* operation, int param, const int* values, int length) {
    if (!operation || length < 0 || (length > 0 && !values)) return 0;
    ++operation->writes;
    operation->params[param] = {true, std::vector<int>(values, values + length), {}};
    return 1;
}

int OPR_set_double_array_param(OPR* operation, int param, const double* values, int length) {
    if (!operation || length < 0 || (length > 0 && !values)) return 0;
    ++operation->writes;
    operation->params[param] = {false, {}, std::vector<double>(values, values + length)};
    return 1;
}

namespace pellam_test {

OPR* create_operation() {
    ++g_live_operations;
    return new OPR;
}

void delete_operation(OPR* operation) {
    if (!operation) return;
    --g_live_operations;
    delete operation;
}

long live_operations() { return g_live_operations; }
int operation_writes(const OPR* operation) { return operation ? operation->writes : 0; }

std::vector<int> int_array_param(const OPR* operation, int param) {
    const OPR::Param* p = find(operation, param);
    return p && p->is_int ? p->ints : std::vector<int>();
}

std::vector<double> double_array_param(const OPR* operation, int param) {
    const OPR::Param* p = find(operation, param);
    return p && !p->is_int ? p->doubles : std::vector<double>();
}

}  // namespace pellam_test
