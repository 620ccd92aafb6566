// Host CAM operation: its numbered parameters, of which the library uses
// int and double arrays.
#pragma once

class OPR;

// Entries of the array parameter; 0 when it is not set.
int OPR_ask_array_param_length(const OPR* operation, int param);
// Copies at most `capacity` entries of an int (double) array parameter into
// `values`; returns the number copied, 0 when the parameter is unset or holds
// the other kind.
int OPR_ask_int_array_param(const OPR* operation, int param, int capacity, int* values);
int OPR_ask_double_array_param(const OPR* operation, int param, int capacity, double* values);
// Replaces the parameter by an int (double) array of `length` entries (0
// allowed: an empty array; a negative length stores nothing and returns 0).
// Returns 1 when stored.
int OPR_set_int_array_param(OPR* operation, int param, const int* values, int length);
int OPR_set_double_array_param(OPR* operation, int param, const double* values, int length);
