// CAM files on stdio.  Every call is recorded for the tests; writes can be
// made to fail from a test.
#include <sorrel/cam_file.h>
#include <sorrel/testing.h>

#include <stend/system.h>

#include <cstdio>
#include <cstring>
#include <string>

struct CAM_FILE_s {
    FILE* stream;
    bool binary;
    bool writing;
};

namespace {

std::vector<sorrel_test::Call> g_calls;
int g_fail_writes_after = -1;
int g_open_files = 0;

void record(const char* op, const std::string& name, int access, int count, const CAM_FILE_s* file) {
    g_calls.push_back({op, name, access, count, file});
}

bool file_exists(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

std::string join(const std::string& directory, const char* name) {
    if (directory.empty()) return name;
    if (directory.back() == '/') return directory + name;
    return directory + "/" + name;
}

std::string full_name(const char* ref, const char* name) {
    if (!ref || ref[0] != '$' || name[0] == '/') return name;
    const char* path = ENV_translate_variable(ref + 1);
    if (!path || !*path) return name;
    std::string first;
    bool have_first = false;
    const char* p = path;
    while (true) {
        const char* end = std::strchr(p, ';');
        std::string directory = end ? std::string(p, end) : std::string(p);
        if (!directory.empty()) {
            std::string candidate = join(directory, name);
            if (file_exists(candidate)) return candidate;
            if (!have_first) {
                first = candidate;
                have_first = true;
            }
        }
        if (!end) break;
        p = end + 1;
    }
    return have_first ? first : std::string(name);
}

int open_file(const char* op, const char* name, int access, bool binary, CAM_FILE_s** out) {
    record(op, name ? name : "", access, 0, nullptr);
    if (!out) return CAM_FILE_ERR_ARGUMENT;
    *out = nullptr;
    if (!name) return CAM_FILE_ERR_ARGUMENT;
    const char* mode = nullptr;
    switch (access) {
    case CAM_FILE_ACCESS_READ: mode = binary ? "rb" : "r"; break;
    case CAM_FILE_ACCESS_APPEND: mode = binary ? "ab" : "a"; break;
    case CAM_FILE_ACCESS_WRITE: mode = binary ? "wb" : "w"; break;
    default: return CAM_FILE_ERR_ARGUMENT;
    }
    FILE* stream = std::fopen(name, mode);
    if (!stream) return CAM_FILE_ERR_OPEN;
    CAM_FILE_s* file = new CAM_FILE_s;
    file->stream = stream;
    file->binary = binary;
    file->writing = access != CAM_FILE_ACCESS_READ;
    g_calls.back().file = file;
    ++g_open_files;
    *out = file;
    return CAM_FILE_SUCCESS;
}

}  // namespace

char* CAM_FILE_make_filename(const char* directory_ref, const char* name) {
    record("make_filename", name ? name : "", 0, 0, nullptr);
    if (!name) return nullptr;
    std::string full = full_name(directory_ref, name);
    char* result = static_cast<char*>(SM_alloc(full.size() + 1));
    if (result) std::memcpy(result, full.c_str(), full.size() + 1);
    return result;
}

int CAM_FILE_open_binary(const char* name, int access, CAM_FILE_s** out) {
    return open_file("open_binary", name, access, true, out);
}

int CAM_FILE_open_text(const char* name, int access, CAM_FILE_s** out) {
    return open_file("open_text", name, access, false, out);
}

int CAM_FILE_write_binary(CAM_FILE_s* file, int count, const void* data) {
    record("write_binary", "", 0, count, file);
    if (!file || count < 0 || (count > 0 && !data)) return CAM_FILE_ERR_ARGUMENT;
    if (!file->binary || !file->writing) return CAM_FILE_ERR_ACCESS;
    if (g_fail_writes_after == 0) return CAM_FILE_ERR_WRITE;
    if (g_fail_writes_after > 0) --g_fail_writes_after;
    size_t written = count > 0 ? std::fwrite(data, 1, static_cast<size_t>(count), file->stream) : 0;
    return written == static_cast<size_t>(count) ? CAM_FILE_SUCCESS : CAM_FILE_ERR_WRITE;
}

int CAM_FILE_write_text(CAM_FILE_s* file, const char* text) {
    const size_t length = text ? std::strlen(text) : 0;
    record("write_text", "", 0, static_cast<int>(length), file);
    if (!file || !text) return CAM_FILE_ERR_ARGUMENT;
    if (file->binary || !file->writing) return CAM_FILE_ERR_ACCESS;
    if (g_fail_writes_after == 0) return CAM_FILE_ERR_WRITE;
    if (g_fail_writes_after > 0) --g_fail_writes_after;
    const size_t written = length > 0 ? std::fwrite(text, 1, length, file->stream) : 0;
    return written == length ? CAM_FILE_SUCCESS : CAM_FILE_ERR_WRITE;
}

int CAM_FILE_read_binary(CAM_FILE_s* file, int count, void* buffer, int* read) {
    record("read_binary", "", 0, count, file);
    if (read) *read = 0;
    if (!file || count < 0 || (count > 0 && !buffer)) return CAM_FILE_ERR_ARGUMENT;
    if (!file->binary || file->writing) return CAM_FILE_ERR_ACCESS;
    size_t got = count > 0 ? std::fread(buffer, 1, static_cast<size_t>(count), file->stream) : 0;
    if (read) *read = static_cast<int>(got);
    if (got == static_cast<size_t>(count)) return CAM_FILE_SUCCESS;
    return got == 0 && std::feof(file->stream) ? CAM_FILE_END_OF_FILE : CAM_FILE_ERR_READ;
}

int CAM_FILE_read_text(CAM_FILE_s* file, char* buffer, size_t size) {
    record("read_text", "", 0, 0, file);
    if (!file || !buffer || size < 2) return CAM_FILE_ERR_ARGUMENT;
    buffer[0] = '\0';
    if (file->binary || file->writing) return CAM_FILE_ERR_ACCESS;
    size_t length = 0;
    int c = EOF;
    bool any = false;
    bool too_long = false;
    while ((c = std::fgetc(file->stream)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (c == '\r') {
            int next = std::fgetc(file->stream);
            if (next == '\n' || next == EOF) break;  // a CR LF line end
            std::ungetc(next, file->stream);
        }
        if (length + 1 < size) {
            buffer[length++] = static_cast<char>(c);
        } else {
            too_long = true;  // keep consuming up to the line end
        }
    }
    if (!any) return CAM_FILE_END_OF_FILE;
    buffer[length] = '\0';
    return too_long ? CAM_FILE_ERR_LINE_TOO_LONG : CAM_FILE_SUCCESS;
}

int CAM_FILE_close(CAM_FILE_s** file) {
    record("close", "", 0, 0, file ? *file : nullptr);
    if (!file || !*file) return CAM_FILE_SUCCESS;
    int status = std::fclose((*file)->stream) == 0 ? CAM_FILE_SUCCESS : CAM_FILE_ERR_WRITE;
    delete *file;
    *file = nullptr;
    --g_open_files;
    return status;
}

namespace sorrel_test {
const std::vector<Call>& calls() { return g_calls; }
std::vector<std::string> ops() {
    std::vector<std::string> result;
    for (const Call& c : g_calls) result.push_back(c.op);
    return result;
}
void clear_calls() { g_calls.clear(); }
void fail_writes_after(int writes) { g_fail_writes_after = writes; }
int open_files() { return g_open_files; }
void reset() {
    g_calls.clear();
    g_fail_writes_after = -1;
}
}  // namespace sorrel_test
