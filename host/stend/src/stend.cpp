// Stand-in for the host's system services.  Small and plain: it formats,
// records and raises; tests and host programs read what it recorded through
// <stend/testing.h>.
//
// STEND_CHECKING: when the environment variable holds a number N at load,
// the host checking level starts at N and every note, assertion and raised
// error is also printed to standard error as it happens:
//   <file>:<line>: note: <text>
//   <file>:<line>: assertion failed: <text>
//   <file>:<line>: internal error <code>: <text>
//   <file>:<line>: error <code>: <text>
#include <stend/error.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <stend/testing_error_handler.h>

#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

int MACH__checking_level = 0;

namespace {

std::vector<stend_test::Record>& log_records() {
    static std::vector<stend_test::Record> records;
    return records;
}

std::string vformat(const char* format, va_list args) {
    if (!format) return std::string();
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n < 0) return std::string();
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(&out[0], out.size(), format, args);
    out.resize(static_cast<size_t>(n));
    return out;
}

// Whether records are echoed to standard error (STEND_CHECKING set).
bool g_echo = false;

void echo(stend_test::Kind kind, const char* file, int line, int code, const std::string& text) {
    const char* where = file && *file ? file : "?";
    switch (kind) {
    case stend_test::Kind::Note: std::fprintf(stderr, "%s:%d: note: %s\n", where, line, text.c_str()); break;
    case stend_test::Kind::Assertion:
        std::fprintf(stderr, "%s:%d: assertion failed: %s\n", where, line, text.c_str());
        break;
    case stend_test::Kind::Internal:
        std::fprintf(stderr, "%s:%d: internal error %d: %s\n", where, line, code, text.c_str());
        break;
    case stend_test::Kind::Exception:
        std::fprintf(stderr, "%s:%d: error %d: %s\n", where, line, code, text.c_str());
        break;
    case stend_test::Kind::Log: return;
    }
    std::fflush(stderr);
}

void record(stend_test::Kind kind, const char* file, int line, int code, std::string text) {
    if (g_echo) echo(kind, file, line, code, text);
    log_records().push_back({kind, file ? file : "", line, code, std::move(text)});
}

// Reads STEND_CHECKING once, when the library is loaded.  Only a whole
// integer counts; anything else leaves the stand-in quiet at level 0.
struct CheckingFromEnvironment {
    CheckingFromEnvironment() {
        const char* value = std::getenv("STEND_CHECKING");
        if (!value || !*value) return;
        char* end = nullptr;
        const long level = std::strtol(value, &end, 10);
        if (*end || level < INT_MIN || level > INT_MAX) return;
        MACH__checking_level = static_cast<int>(level);
        g_echo = true;
    }
};
const CheckingFromEnvironment g_checking_from_environment;

struct Decoder {
    int first;
    int count;
    ERROR_decoder_fn_t fn;
    const void* table;
};
std::vector<Decoder>& decoders() {
    static std::vector<Decoder> d;
    return d;
}

struct EnvEntry {
    bool hidden;
    std::string value;
};
std::map<std::string, EnvEntry>& env_overlay() {
    static std::map<std::string, EnvEntry> m;
    return m;
}
std::map<std::string, int>& env_read_counts() {
    static std::map<std::string, int> m;
    return m;
}
std::map<std::string, bool>& debug_flags() {
    static std::map<std::string, bool> m;
    return m;
}

struct Reason {
    std::string name;
    std::vector<CALLBACK_fn_t> fns;
};
std::vector<Reason>& reasons() {
    static std::vector<Reason> r;
    return r;
}

long g_cpp_live = 0;

}  // namespace

namespace Korvo {
namespace Error {
void Severe::Convert(const std::exception& e) {
    m_code = ERROR_INTERNAL_CODE;
    m_text = e.what();
}
}  // namespace Error
}  // namespace Korvo

void ERROR_note(const char* file, int line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    record(stend_test::Kind::Note, file, line, 0, vformat(format, args));
    va_end(args);
}

void ERROR_assertion_failed(const char* file, int line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    record(stend_test::Kind::Assertion, file, line, 0, vformat(format, args));
    va_end(args);
}

void ERROR_internal(const char* file, int line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    record(stend_test::Kind::Internal, file, line, ERROR_INTERNAL_CODE, text);
    throw Korvo::Error::Severe(ERROR_INTERNAL_CODE, text);
}

[[noreturn]] static void raise_text(const char* file, int line, int code, std::string text) {
    record(stend_test::Kind::Exception, file, line, code, text);
    throw Korvo::Error::Severe(code, std::move(text));
}

// The argument list is closed before the throw leaves the variadic function.
void ERROR_exception(const char* file, int line, int code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    raise_text(file, line, code, std::move(text));
}

void ERROR_raise(const char* file, int line, int code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    raise_text(file, line, code, std::move(text));
}

int ERROR_register_decoder_fn(int first, int count, ERROR_decoder_fn_t decoder, const void* table) {
    if (count <= 0 || !decoder) return 0;
    for (const Decoder& d : decoders())
        if (first < d.first + d.count && d.first < first + count) return 0;
    decoders().push_back({first, count, decoder, table});
    return 1;
}

const char* ERROR_decode(int code) {
    for (const Decoder& d : decoders())
        if (code >= d.first && code < d.first + d.count) return d.fn(code, d.table);
    return nullptr;
}

const char* ERROR_decode_in_table(int code, const void* table) {
    for (const ERROR_message_s* m = static_cast<const ERROR_message_s*>(table); m && m->code != 0; ++m)
        if (m->code == code) return m->text;
    return nullptr;
}

void ERROR_lprintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    record(stend_test::Kind::Log, "", 0, 0, vformat(format, args));
    va_end(args);
}

const char* ENV_translate_variable(const char* name) {
    if (!name) return nullptr;
    ++env_read_counts()[name];
    auto it = env_overlay().find(name);
    if (it != env_overlay().end()) return it->second.hidden ? nullptr : it->second.value.c_str();
    return std::getenv(name);
}

bool RDEBUG_ask_flag(const char* token) {
    if (!token) return false;
    auto it = debug_flags().find(token);
    return it != debug_flags().end() && it->second;
}

int CALLBACK_ask_reason_number(const char* reason) {
    if (!reason) return 0;
    for (size_t i = 0; i < reasons().size(); ++i)
        if (reasons()[i].name == reason) return static_cast<int>(i) + 1;
    return 0;
}

int CALLBACK_register(const char* reason, CALLBACK_fn_t fn) {
    if (!reason || !fn) return 0;
    int n = CALLBACK_ask_reason_number(reason);
    if (n == 0) {
        reasons().push_back({reason, {}});
        n = static_cast<int>(reasons().size());
    }
    reasons()[static_cast<size_t>(n - 1)].fns.push_back(fn);
    return n;
}

int CALLBACK_unregister(const char* reason, CALLBACK_fn_t fn) {
    int n = CALLBACK_ask_reason_number(reason);
    if (n == 0) return 0;
    auto& fns = reasons()[static_cast<size_t>(n - 1)].fns;
    for (auto it = fns.begin(); it != fns.end(); ++it)
        if (*it == fn) {
            fns.erase(it);
            return 1;
        }
    return 0;
}

void CALLBACK_call_list(int reason_number, const void* data) {
    if (reason_number < 1 || reason_number > static_cast<int>(reasons().size())) return;
    std::vector<CALLBACK_fn_t> fns = reasons()[static_cast<size_t>(reason_number - 1)].fns;
    for (CALLBACK_fn_t fn : fns) fn(data);
}

int STR_snprintf(char* buffer, size_t size, const char* format, ...) {
    if (!buffer || size == 0) return 0;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, size, format, args);
    va_end(args);
    if (n < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return n < static_cast<int>(size) ? n : static_cast<int>(size) - 1;
}

namespace Korvo {
namespace System {
FILE* STEND_fopen(const char* path, const char* mode) {
    if (!path || !mode) return nullptr;
    return std::fopen(path, mode);
}
}  // namespace System
namespace Memory {
void* CppMemory::allocate(size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (p) ++g_cpp_live;
    return p;
}
void CppMemory::free(void* p) {
    if (!p) return;
    --g_cpp_live;
    std::free(p);
}
}  // namespace Memory
}  // namespace Korvo

namespace stend_test {
const std::vector<Record>& records() { return log_records(); }
std::vector<std::string> texts(Kind kind) {
    std::vector<std::string> out;
    for (const Record& r : log_records())
        if (r.kind == kind) out.push_back(r.text);
    return out;
}
void clear() { log_records().clear(); }
void set_env(const std::string& name, const std::string& value) { env_overlay()[name] = {false, value}; }
void hide_env(const std::string& name) { env_overlay()[name] = {true, std::string()}; }
void reset_env() {
    env_overlay().clear();
    env_read_counts().clear();
}
int env_reads(const std::string& name) {
    auto it = env_read_counts().find(name);
    return it == env_read_counts().end() ? 0 : it->second;
}
void set_debug_flag(const std::string& token, bool on) { debug_flags()[token] = on; }
void reset_debug_flags() { debug_flags().clear(); }
void reset_callbacks() {
    for (Reason& r : reasons()) r.fns.clear();
}
long cpp_memory_live() { return g_cpp_live; }
void reset_all() {
    clear();
    reset_env();
    reset_debug_flags();
    reset_callbacks();
    reset_handlers();
    MACH__checking_level = 0;
}
}  // namespace stend_test
