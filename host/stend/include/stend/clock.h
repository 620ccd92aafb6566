// Host system services: timers of processor and elapsed time (CLOCK_
// family).
#pragma once

struct CLOCK_timer_s {
    double cpu_start;   // processor seconds (user and system) at the start
    double real_start;  // elapsed seconds at the start
    double cpu;         // processor seconds from start to stop
    double real;        // elapsed seconds from start to stop
    int running;        // 1 from create to stop
};

// Starts the timer.
void CLOCK_create_timer(CLOCK_timer_s* timer);
// Stops the timer: the times from its start are kept.
void CLOCK_stop_timer(CLOCK_timer_s* timer);
// The processor (user and system) and elapsed seconds from start to stop, or
// to now while the timer runs.  Null outputs are skipped.
void CLOCK_read_timer(const CLOCK_timer_s* timer, double* cpu, double* real);
