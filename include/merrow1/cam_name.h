// Names of CAM objects: validation, repair, look-up by name in the views of
// the current setup, and unique names for new, copied and numbered objects.
#pragma once

#include <merrow1/export.h>
#include <pellam/cam_views.h>
#include <stend/ustring.h>

MERROW1_API_BEGIN

// Result of validating a name.
enum CAM_name_result_t {
    CAM_NAME_VALID = 0,
    CAM_NAME_EMPTY = 1,
    CAM_NAME_RESERVED = 2,
    CAM_NAME_ILLEGAL_CHAR = 3,
    CAM_NAME_BAD_FIRST_CHAR = 4,
    CAM_NAME_TOO_LONG = 5,
};

// What the first character of a name may be: 0 a letter; any other value a
// letter or a digit.
enum CAM_name_first_char_t {
    CAM_NAME_FIRST_LETTER = 0,
    CAM_NAME_FIRST_LETTER_OR_DIGIT = 1,
};

// Longest valid name, in characters.
enum { CAM_NAME_MAX_LENGTH = 30 };

int CAM_ask_default_number();

// Trims blanks from both ends of `name` and upper-cases it (in place), then
// validates it for an object of class `class_id` (0: no class).
CAM_name_result_t CAM_name_validate(int class_id, Korvo::UString& name, CAM_name_first_char_t first);
// The same without upper-casing; the reserved name compares ignoring case.
CAM_name_result_t CAM_name_validate_no_uc(int class_id, Korvo::UString& name, CAM_name_first_char_t first);
// Validate a copy; when the check trimmed or upper-cased the text, the changed
// text (at most 30 characters) is written back into `name`.
CAM_name_result_t CAM_name_validate(int class_id, char* name, CAM_name_first_char_t first);
CAM_name_result_t CAM_name_validate_no_uc(int class_id, char* name, CAM_name_first_char_t first);

// A valid form of the name: an 'X' in front when it does not start with a
// letter or digit, '_' for every character other than letters, digits, '-',
// '_', '.' and '~'.  The result may be one character longer than the name;
// validation judges the length.
Korvo::UString CAM_name_make_valid(const Korvo::UString& name);
// The same as a new host string (SM_free); null for a null name.
char* CAM_name_make_valid(const char* name);

// The object of that name in the view of the class in the current setup;
// null when there is none or the class has no view.
PARAM* CAM_ask_object_of_name(int class_id, char* name);
// The first sub-operation of `parent` whose name equals `name` exactly.
PARAM* CAM_ask_subop_of_name(PARAM* parent, char* name);
// Trims and upper-cases `name` in place; whether an object of that name
// exists in the class's view (false for an empty name).
bool CAM_name_exists(int class_id, char* name);

// Unique names.  `result` receives at most 30 characters and a terminator.
// A name search that runs out of numbers ("_999", then "~9999") raises
// ERROR_internal.
void CAM_ask_default_name(int class_id, char* base, char* result);
void CAM_ask_subop_default_name(PARAM* parent, char* base, char* result);
// option: 0 "_COPY", 1 "_INSTANCE", 2 "_DIV"; any other raises ERROR_internal.
void CAM_get_copy_of_name(char* name, int class_id, char* result, int option);
void CAM_get_name_with_initial_value(char* name, int class_id, int initial, char* result, int option);

MERROW1_API_END
