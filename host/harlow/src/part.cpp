// Part stand-in: one units answer for every part, and a record of the calls.
#include <harlow/part.h>
#include <harlow/testing_part.h>

#include <mutex>

namespace {

std::mutex g_mutex;
int g_units = 1;
std::vector<tag_t> g_calls;

}  // namespace

int PART_ask_units(tag_t part) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.push_back(part);
    return g_units;
}

namespace harlow_test {

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
