// Resident memory of the benchmark process, the peak memory and page fault
// counters of the benchmarks, and the fixed iteration count that the
// instruction counts use (Linux).
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>
#include <unistd.h>

namespace merrow1_bench {

// Resident set size now and at its peak so far, in bytes.
inline size_t resident_bytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<size_t>(resident) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}
inline size_t peak_resident_bytes() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<size_t>(u.ru_maxrss) * 1024;
}

// Peak memory of the runs beyond what the process held before them, per
// input vertex as that library receives them.  Meaningful only when the case
// runs in a process of its own (bench/run_isolated.sh), as the peak of an
// earlier case would hide it, and in its first repetition: later ones start
// with what the earlier left resident.
inline void report_peak(benchmark::State& state, size_t before, double vertices) {
    const size_t peak = peak_resident_bytes();
    state.counters["peak_bytes_per_vertex"] = peak > before ? static_cast<double>(peak - before) / vertices : 0.0;
}

// Minor page faults of the process so far.
inline long minor_faults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

// Counter faults_per_call: the minor page faults of the timed loop (taken
// with minor_faults() just before it) per iteration.
inline void report_faults(benchmark::State& state, long before) {
    const double iterations = static_cast<double>(state.iterations());
    state.counters["faults_per_call"] = iterations > 0 ? static_cast<double>(minor_faults() - before) / iterations : 0.0;
}

// The time unit of a registered benchmark and, when the environment names
// one (MERROW1_BENCH_ITERATIONS=N, as bench/instructions.sh sets it), a fixed
// number of iterations in place of the library's own choice.
inline benchmark::internal::Benchmark* configure(benchmark::internal::Benchmark* b, benchmark::TimeUnit unit) {
    static const long fixed = [] {
        const char* text = std::getenv("MERROW1_BENCH_ITERATIONS");
        return text ? std::strtol(text, nullptr, 10) : 0L;
    }();
    b->Unit(unit);
    if (fixed > 0) b->Iterations(fixed);
    return b;
}

}  // namespace merrow1_bench
