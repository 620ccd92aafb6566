#include "ssp_fake_processor.h"

#include <merrow1/ssp.h>
#include <stend/system.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <unistd.h>

namespace ssp_fake {
namespace {

struct Workbook {
    std::vector<std::pair<std::string, Sheet>> sheets;
};

struct State {
    std::map<std::string, Workbook> books;
    std::vector<std::string> calls;
    std::set<std::string> failing;
    long live = 0;
    int next_handle = 1;
    const Workbook* loaded = nullptr;
    int current = 0;
    std::vector<std::string> files;
};
State& st() {
    static State s;
    return s;
}

void rec(const std::string& call) { st().calls.push_back(call); }
bool failing(const char* name) { return st().failing.count(name) != 0; }

const Sheet* current_sheet() {
    if (!st().loaded || st().loaded->sheets.empty()) return nullptr;
    return &st().loaded->sheets[static_cast<std::size_t>(st().current)].second;
}
const Cell* cell_at(int row, int column) {
    const Sheet* s = current_sheet();
    if (!s || row < 1 || row > static_cast<int>(s->size())) return nullptr;
    const auto& r = (*s)[static_cast<std::size_t>(row - 1)];
    if (column < 1 || column > static_cast<int>(r.size())) return nullptr;
    return &r[static_cast<std::size_t>(column - 1)];
}

int start(char* name, XS_mode_types_t mode) {
    rec("start(" + std::string(name) + "," + std::to_string(mode) + ")");
    if (failing("start")) return 0;
    ++st().live;
    st().loaded = nullptr;
    st().current = 0;
    return st().next_handle++;
}
int load(int, const char* file) {
    rec("load(" + std::string(file) + ")");
    if (failing("load")) return 0;
    auto it = st().books.find(file);
    if (it == st().books.end()) return 0;
    st().loaded = &it->second;
    return 1;
}
void end(int) {
    rec("end");
    --st().live;
    st().loaded = nullptr;
}
int extent(int, int* first_row, int* first_column, int* last_row, int* last_column) {
    rec("extent");
    const Sheet* s = current_sheet();
    if (failing("extent") || !s) return 0;
    int columns = 0;
    for (const auto& r : *s) columns = std::max(columns, static_cast<int>(r.size()));
    *first_row = 1;
    *first_column = 1;
    *last_row = static_cast<int>(s->size());
    *last_column = columns;
    return 1;
}
XS_values_t ask_string(int, int row, int column, int size, char* out) {
    rec("ask_string(" + std::to_string(row) + "," + std::to_string(column) + ")");
    const Cell* c = cell_at(row, column);
    if (failing("ask_string") || !c) return 0;
    if (c->kind == 2) std::snprintf(out, static_cast<std::size_t>(size), "%s", c->text.c_str());
    return c->kind;
}
XS_values_t ask_number(int, int row, int column, double* value) {
    rec("ask_number(" + std::to_string(row) + "," + std::to_string(column) + ")");
    const Cell* c = cell_at(row, column);
    if (failing("ask_number") || !c) return 0;
    *value = c->number;
    return 1;
}
void kill() { rec("kill"); }
int shutdown() {
    rec("shutdown");
    return 1;
}
int sheets(int) {
    rec("sheets");
    if (failing("sheets") || !st().loaded) return 0;
    return static_cast<int>(st().loaded->sheets.size());
}
int sheet_name(int, int sheet, char** name) {
    rec("sheet_name(" + std::to_string(sheet) + ")");
    if (failing("sheet_name") || !st().loaded || sheet < 1 ||
        sheet > static_cast<int>(st().loaded->sheets.size()))
        return 0;
    // The module frees the names with the host's string memory.
    const std::string& n = st().loaded->sheets[static_cast<std::size_t>(sheet - 1)].first;
    *name = static_cast<char*>(SM_alloc(n.size() + 1));
    std::memcpy(*name, n.c_str(), n.size());
    return 1;
}
int set_sheet(int, int sheet, int flag) {
    rec("set_sheet(" + std::to_string(sheet) + "," + std::to_string(flag) + ")");
    if (failing("set_sheet") || !st().loaded) return 0;
    st().current = sheet - 1;
    return 1;
}

}  // namespace

Cell text(const std::string& t) { return {2, t, 0.0}; }
Cell number(double v) { return {1, std::string(), v}; }
Cell empty() { return {0, std::string(), 0.0}; }

std::string add_workbook(const std::string& file, const std::vector<std::pair<std::string, Sheet>>& sheets) {
    const std::string path = "/tmp/ssp_fake_" + std::to_string(getpid()) + "_" + file;
    if (std::FILE* f = std::fopen(path.c_str(), "w")) std::fclose(f);
    st().files.push_back(path);
    st().books[path] = Workbook{sheets};
    return path;
}

Sheet text_sheet(const std::vector<std::vector<std::string>>& rows) {
    Sheet s;
    for (const auto& r : rows) {
        std::vector<Cell> row;
        for (const auto& t : r) row.push_back(t.empty() ? empty() : text(t));
        s.push_back(row);
    }
    return s;
}

void register_without(const std::string& name) {
    auto pick = [&](auto fn, const char* n) { return name == n ? nullptr : fn; };
    SSP_register_xs_callbacks(pick(start, "start"), pick(load, "load"), pick(end, "end"), pick(extent, "extent"),
                              pick(ask_string, "ask_string"), pick(ask_number, "ask_number"), pick(kill, "kill"),
                              pick(shutdown, "shutdown"), pick(sheets, "sheets"), pick(sheet_name, "sheet_name"),
                              pick(set_sheet, "set_sheet"));
}
void register_all() { register_without(""); }
void fail(const std::string& name) { st().failing.insert(name); }
const std::vector<std::string>& calls() { return st().calls; }
int count(const std::string& name) {
    int n = 0;
    for (const auto& c : st().calls)
        if (c == name || c.compare(0, name.size() + 1, name + "(") == 0) ++n;
    return n;
}
long live_connections() { return st().live; }
void reset() {
    for (const auto& f : st().files) std::remove(f.c_str());
    st() = State();
}

}  // namespace ssp_fake
