// Timers of processor and elapsed time, with fixed times for tests.
#include <stend/clock.h>
#include <stend/testing_clock.h>

#include <chrono>
#include <ctime>

namespace {

bool g_fixed = false;
double g_fixed_cpu = 0.0;
double g_fixed_real = 0.0;
std::vector<std::string> g_calls;

double cpu_now() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }
double real_now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void CLOCK_create_timer(CLOCK_timer_s* timer) {
    g_calls.push_back("create");
    if (!timer) return;
    timer->cpu_start = cpu_now();
    timer->real_start = real_now();
    timer->cpu = 0.0;
    timer->real = 0.0;
    timer->running = 1;
}

void CLOCK_stop_timer(CLOCK_timer_s* timer) {
    g_calls.push_back("stop");
    if (!timer || !timer->running) return;
    timer->cpu = cpu_now() - timer->cpu_start;
    timer->real = real_now() - timer->real_start;
    timer->running = 0;
}

void CLOCK_read_timer(const CLOCK_timer_s* timer, double* cpu, double* real) {
    g_calls.push_back("read");
    double c = 0.0, r = 0.0;
    if (g_fixed) {
        c = g_fixed_cpu;
        r = g_fixed_real;
    } else if (timer) {
        c = timer->running ? cpu_now() - timer->cpu_start : timer->cpu;
        r = timer->running ? real_now() - timer->real_start : timer->real;
    }
    if (cpu) *cpu = c;
    if (real) *real = r;
}

namespace stend_test {
void set_clock_times(double cpu, double real) {
    g_fixed = true;
    g_fixed_cpu = cpu;
    g_fixed_real = real;
}
std::vector<std::string> clock_calls() { return g_calls; }
void reset_clock() {
    g_fixed = false;
    g_calls.clear();
}
}  // namespace stend_test
