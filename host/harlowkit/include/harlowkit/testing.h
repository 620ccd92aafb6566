// Test controls of the libharlowkit stand-in.  Not part of the host's interface.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace harlowkit_test {

// One sheet: rows of cells, the first row at row 1; nullopt is an empty cell.
typedef std::vector<std::vector<std::optional<std::string>>> Sheet;

// Opens (or replaces) a workbook with named sheets.
void open_workbook(int workbook, const std::vector<std::pair<std::string, Sheet>>& sheets);
// Range contents read and not yet freed.
long live_ranges();
// Closes every workbook.
void reset();

}  // namespace harlowkit_test
