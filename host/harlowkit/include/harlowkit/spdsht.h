// Host spreadsheet ranges: cells of workbooks the host has open.
#pragma once

// A range of one worksheet; rows and columns count from 1, and -1 as a last
// row or column means the last used one (1 .. -1 is the whole used range).
struct SPDSHT_range_s {
    int sheet;  // worksheet index from SPDSHT_ask_worksheet_index
    int first_row;
    int last_row;
    int first_column;
    int last_column;
};

// Cells read from a range: the rows and columns actually covered and their
// texts row by row ((last_row - first_row + 1) * (last_column - first_column
// + 1) entries); an empty cell is null.  Freed with SPDSHT_free_range_content.
struct SPDSHT_range_content_s {
    int first_row;
    int last_row;
    int first_column;
    int last_column;
    char** texts;
};

// 0 and the sheet's index when the open workbook has a sheet of that name.
int SPDSHT_ask_worksheet_index(int workbook, const char* sheet, int* index);
// 0 and the range's cells; `flags` is the host's reading option word.
int SPDSHT_read_range(int workbook, const SPDSHT_range_s* range, int flags, SPDSHT_range_content_s* content);
void SPDSHT_free_range_content(SPDSHT_range_content_s* content);
