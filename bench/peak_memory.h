// Resident memory of the benchmark process and the peak memory counter of
// the benchmarks (Linux).
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdio>

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

}  // namespace merrow1_bench
