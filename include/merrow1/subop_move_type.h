// Kinds of sub-operation moves: for each its type number, the number under
// which the host customises it, its name, icons and editing class.
#pragma once

#include <merrow1/export.h>

MERROW1_API_BEGIN

struct SUBOP_MOVE_TYPE_s {
    int type;
    int custom_id;
    const char* name;
    const char* large_icon;
    const char* icon;
    const char* ui_class;  // class of the host's user interface that edits it
};

// Store a pointer to the table's record of the type (types 1801 to 1999 are
// user-defined moves and give the record of 1800) or of the custom id.  A
// type or id without a record raises ERROR_internal; a null `data` is a
// failed precondition (noted at checking level 1 or more).
void SUBOP_MOVE_TYPE_get_data_by_type(int type, SUBOP_MOVE_TYPE_s** data);
void SUBOP_MOVE_TYPE_get_data_by_custom_id(int custom_id, SUBOP_MOVE_TYPE_s** data);
bool SUBOP_MOVE_TYPE_is_valid(int type);

MERROW1_API_END
