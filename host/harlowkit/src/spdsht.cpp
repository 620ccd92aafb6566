// Stand-in for the host's spreadsheet-range functions over in-memory open
// workbooks, with a count of range contents not yet freed.
#include <harlowkit/spdsht.h>
#include <harlowkit/testing.h>

#include <cstdlib>
#include <cstring>
#include <map>

namespace {
std::map<int, std::vector<std::pair<std::string, harlowkit_test::Sheet>>>& books() {
    static std::map<int, std::vector<std::pair<std::string, harlowkit_test::Sheet>>> b;
    return b;
}
long g_live = 0;
}  // namespace

int SPDSHT_ask_worksheet_index(int workbook, const char* sheet, int* index) {
    if (!sheet || !index) return 1;
    auto it = books().find(workbook);
    if (it == books().end()) return 2;
    for (std::size_t i = 0; i < it->second.size(); ++i)
        if (it->second[i].first == sheet) {
            *index = static_cast<int>(i);
            return 0;
        }
    return 3;
}

int SPDSHT_read_range(int workbook, const SPDSHT_range_s* range, int, SPDSHT_range_content_s* content) {
    if (!range || !content) return 1;
    auto it = books().find(workbook);
    if (it == books().end() || range->sheet < 0 || range->sheet >= static_cast<int>(it->second.size())) return 2;
    const harlowkit_test::Sheet& sheet = it->second[static_cast<std::size_t>(range->sheet)].second;
    int used_rows = static_cast<int>(sheet.size()), used_columns = 0;
    for (const auto& row : sheet) used_columns = std::max(used_columns, static_cast<int>(row.size()));
    if (used_rows == 0 || used_columns == 0) return 4;
    const int r0 = range->first_row, r1 = range->last_row < 0 ? used_rows : range->last_row;
    const int c0 = range->first_column, c1 = range->last_column < 0 ? used_columns : range->last_column;
    if (r0 < 1 || c0 < 1 || r1 < r0 || c1 < c0) return 3;
    const std::size_t n = static_cast<std::size_t>(r1 - r0 + 1) * static_cast<std::size_t>(c1 - c0 + 1);
    char** texts = static_cast<char**>(std::calloc(n, sizeof(char*)));
    std::size_t k = 0;
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c, ++k) {
            if (r > used_rows) continue;
            const auto& row = sheet[static_cast<std::size_t>(r - 1)];
            if (c > static_cast<int>(row.size()) || !row[static_cast<std::size_t>(c - 1)]) continue;
            texts[k] = strdup(row[static_cast<std::size_t>(c - 1)]->c_str());
        }
    *content = {r0, r1, c0, c1, texts};
    ++g_live;
    return 0;
}

void SPDSHT_free_range_content(SPDSHT_range_content_s* content) {
    if (!content || !content->texts) return;
    const std::size_t n = static_cast<std::size_t>(content->last_row - content->first_row + 1) *
                          static_cast<std::size_t>(content->last_column - content->first_column + 1);
    for (std::size_t k = 0; k < n; ++k) std::free(content->texts[k]);
    std::free(content->texts);
    content->texts = nullptr;
    --g_live;
}

namespace harlowkit_test {
void open_workbook(int workbook, const std::vector<std::pair<std::string, Sheet>>& sheets) {
    books()[workbook] = sheets;
}
long live_ranges() { return g_live; }
void reset() { books().clear(); }
}  // namespace harlowkit_test
