// Test controls of the libstend stand-in: what the library wrote, and the
// settings a test steers.  Not part of the host's interface.
#pragma once

#include <string>
#include <vector>

namespace stend_test {

enum class Kind { Note, Assertion, Internal, Exception, Log };

struct Record {
    Kind kind;
    std::string file;
    int line;
    int code;          // error code for Exception/Internal, else 0
    std::string text;  // the formatted message
};

// Everything reported since the last clear().
const std::vector<Record>& records();
std::vector<std::string> texts(Kind kind);
void clear();

// Environment overlay: set or hide a variable without touching the process.
void set_env(const std::string& name, const std::string& value);
void hide_env(const std::string& name);   // reads as not set
void reset_env();                         // back to the process environment
int env_reads(const std::string& name);   // times ENV_translate_variable asked

void set_debug_flag(const std::string& token, bool on);
void reset_debug_flags();

void reset_callbacks();

// Live CppMemory blocks (allocations not yet freed).
long cpp_memory_live();

// Restores every setting above and the checking level to 0.
void reset_all();

}  // namespace stend_test

// Controls of the object manager, hash tables and persistent memory.
#include <stend/testing_om.h>
