// A fake spreadsheet application behind the eleven callbacks: in-memory
// workbooks by file name (each also a real empty file, since a load checks
// that the file exists), sheets of typed cells, every call recorded with its
// arguments, any callback made to fail on request, and a count of live
// connections.
#pragma once

#include <string>
#include <vector>

namespace ssp_fake {

struct Cell {
    int kind;  // 2 text, 1 number, 0 empty
    std::string text;
    double number;
};
Cell text(const std::string& t);
Cell number(double v);
Cell empty();

typedef std::vector<std::vector<Cell>> Sheet;  // rows from row 1, columns from 1

// Adds a workbook; returns the path it is loaded under.
std::string add_workbook(const std::string& file, const std::vector<std::pair<std::string, Sheet>>& sheets);
// A sheet whose first row holds the headings and the rest texts ("" empty).
Sheet text_sheet(const std::vector<std::vector<std::string>>& rows);

// Callback names: "start", "load", "end", "extent", "ask_string",
// "ask_number", "kill", "shutdown", "sheets", "sheet_name", "set_sheet".
void register_all();
// Registers all but the named callback (null in its place).
void register_without(const std::string& name);
// The named callback reports failure from now on.
void fail(const std::string& name);
// Calls since reset, as "name(arguments)".
const std::vector<std::string>& calls();
int count(const std::string& name);
long live_connections();
void reset();

}  // namespace ssp_fake
