// Stand-in for the host's file services, debug-token registration and
// environment expansion.  Files are real files; every open file is counted.
#include <stend/cfi.h>
#include <stend/rdebug.h>
#include <stend/system.h>
#include <stend/testing_cfi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

struct CFI_file_s {
    std::FILE* fp;
};

namespace {
long g_open_files = 0;
int g_fail_open = 0;
int g_fail_close = 0;
bool g_rdebug_enabled = true;
std::vector<std::string>& tokens() {
    static std::vector<std::string> t;
    return t;
}
char* copy_to_sm(const std::string& s) {
    char* out = static_cast<char*>(SM_alloc(s.size() + 1));
    if (out) std::memcpy(out, s.c_str(), s.size() + 1);
    return out;
}
}  // namespace

int CFI_open_file(const char* path, int mode, int, int, CFI_file_t* file) {
    if (!file) return 2;
    *file = nullptr;
    if (g_fail_open) {
        int code = g_fail_open;
        g_fail_open = 0;
        return code;
    }
    if (!path || mode != 1) return 2;
    std::FILE* fp = std::fopen(path, "rb");
    if (!fp) return 1;
    *file = new CFI_file_s{fp};
    ++g_open_files;
    return 0;
}

char* CFI_read_line(CFI_file_t file) {
    if (!file) return nullptr;
    std::string line;
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(file->fp)) != EOF) {
        any = true;
        if (c == '\n') break;
        line.push_back(static_cast<char>(c));
    }
    if (!any) return nullptr;
    return copy_to_sm(line);
}

int CFI_close_file(CFI_file_t file) {
    if (!file) return 2;
    std::fclose(file->fp);
    delete file;
    --g_open_files;
    if (g_fail_close) {
        int code = g_fail_close;
        g_fail_close = 0;
        return code;
    }
    return 0;
}

int CFI_ask_file_exist(const char* path) {
    struct stat st;
    if (!path || stat(path, &st) != 0) return 1;
    return 0;
}

void RDEBUG_register_token(const char* token) {
    if (token) tokens().push_back(token);
}

bool RDEBUG__enabled(void) { return g_rdebug_enabled; }

int ENV_expand_name(const char* name, char** expanded) {
    if (!expanded) return 1;
    *expanded = nullptr;
    if (!name) return 1;
    std::string out;
    for (const char* p = name; *p;) {
        if (p[0] == '$' && p[1] == '{') {
            const char* end = std::strchr(p + 2, '}');
            if (!end) return 1;
            const std::string var(p + 2, end);
            const char* value = ENV_translate_variable(var.c_str());
            if (!value) return 1;
            out += value;
            p = end + 1;
        } else {
            out.push_back(*p++);
        }
    }
    *expanded = copy_to_sm(out);
    return *expanded ? 0 : 1;
}

namespace stend_test {
long cfi_open_files() { return g_open_files; }
void cfi_fail_next_open(int code) { g_fail_open = code; }
void cfi_fail_next_close(int code) { g_fail_close = code; }
std::vector<std::string> rdebug_registered_tokens() { return tokens(); }
void set_rdebug_enabled(bool on) { g_rdebug_enabled = on; }
void reset_cfi() {
    g_fail_open = 0;
    g_fail_close = 0;
    g_rdebug_enabled = true;
}
}  // namespace stend_test
