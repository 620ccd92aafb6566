// Part stand-in: one units answer for every part, and a record of the calls.
#include <harlow/part.h>
#include <harlow/testing_part.h>

#include <mutex>

namespace {

std::mutex g_mutex;
int g_units = 1;
std::vector<tag_t> g_calls;
double g_scale[2] = {1.0, 1.0};

}  // namespace

int PART_ask_units(tag_t part) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.push_back(part);
    return g_units;
}

int PART_ask_vj_scale_factors(tag_t, double factors[2]) {
    std::lock_guard<std::mutex> lock(g_mutex);
    factors[0] = g_scale[0];
    factors[1] = g_scale[1];
    return 0;
}

namespace harlow_test {

void set_vj_scale_factors(double to_kernel, double to_part) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_scale[0] = to_kernel;
    g_scale[1] = to_part;
}

void reset_vj_scale_factors() { set_vj_scale_factors(1.0, 1.0); }

void set_part_units(int units) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_units = units;
}

std::vector<tag_t> units_calls() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_calls;
}

void clear_units_calls() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.clear();
}

}  // namespace harlow_test
