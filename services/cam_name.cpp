// Names of CAM objects.  Names are looked up upper-cased in the view that
// holds the object's class; unique names count "_n" after the base and,
// when that grows past 30 characters, "~m" after a cut base.
#include <merrow1/cam_name.h>

#include "internal/check.h"
#include "services/cam_name_internal.h"

#include <stend/error.h>
#include <stend/name_length.h>
#include <stend/system.h>
#include <velte/text.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

const char* const kReservedOperationName = "TEMPOPERATION";
const char* const kCopySuffixes[] = {"_COPY", "_INSTANCE", "_DIV"};
// Largest counts that fit the four characters of a number suffix.
const int kMaxUnderscoreNumber = 999;
const int kMaxTildeNumber = 9999;
// Base kept in front of "~m" while "~m" takes at most four characters.
const std::size_t kTildeBaseLength = 26;
const std::size_t kMaxLength = CAM_NAME_MAX_LENGTH;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string trimmed(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && is_blank(text[begin])) ++begin;
    while (end > begin && is_blank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string upper_cased(std::string text) {
    for (char& c : text) c = ascii_upper(c);
    return text;
}

bool equal_ignoring_case(const std::string& a, const char* b) { return upper_cased(a) == b; }

bool is_utf8_continuation(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

// The first `length` bytes of the text, shortened so no character is split.
std::string cut(const std::string& text, std::size_t length) {
    if (text.size() <= length) return text;
    while (length > 0 && is_utf8_continuation(text[length])) --length;
    return text.substr(0, length);
}

// Copies at most CAM_NAME_MAX_LENGTH bytes (whole characters) and a terminator.
void write_name(const std::string& text, char* result) {
    std::string kept = cut(text, kMaxLength);
    std::memcpy(result, kept.c_str(), kept.size() + 1);
}

bool is_operation_class(int class_id) {
    return class_id != 0 && Korvo::OM::IsSubClass(static_cast<Korvo::OM::ClassId>(class_id), OPRClassId);
}

CAM_name_result_t validate(int class_id, Korvo::UString& name, CAM_name_first_char_t first, bool upper) {
    std::string text = trimmed(name.utf8_str());
    if (upper) text = upper_cased(text);
    name = Korvo::UString(text.c_str());
    if (text.empty()) return CAM_NAME_EMPTY;
    if (is_operation_class(class_id) &&
        (upper ? text == kReservedOperationName : equal_ignoring_case(text, kReservedOperationName)))
        return CAM_NAME_RESERVED;
    int c0 = static_cast<unsigned char>(text[0]);
    if (!(first == CAM_NAME_FIRST_LETTER ? TEXT_isalpha(c0) : TEXT_isalnum(c0))) return CAM_NAME_BAD_FIRST_CHAR;
    if (HV_STRING_contain_illegal_char(text.c_str()) == 1) return CAM_NAME_ILLEGAL_CHAR;
    if (!Korvo::TemporaryNameLength(name, CAM_NAME_MAX_LENGTH)) return CAM_NAME_TOO_LONG;
    return CAM_NAME_VALID;
}

CAM_name_result_t validate_text(int class_id, char* name, CAM_name_first_char_t first, bool upper) {
    MERROW1_REQUIRE(name, "DUE_TO_INVALID_INPUT", CAM_NAME_EMPTY);
    Korvo::UString copy(name);
    CAM_name_result_t result = validate(class_id, copy, first, upper);
    // The checked text is never longer than the caller's, so it fits.
    if (std::strcmp(copy.utf8_str(), name) != 0) write_name(copy.utf8_str(), name);
    return result;
}

bool is_valid_name_char(int c) { return TEXT_isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~'; }

std::string make_valid(const std::string& name) {
    if (name.empty()) return name;
    std::string out;
    if (!TEXT_isalnum(static_cast<unsigned char>(name[0]))) out += 'X';
    for (std::size_t i = 0; i < name.size(); ++i) {
        int c = static_cast<unsigned char>(name[i]);
        if (is_utf8_continuation(name[i])) continue;  // one '_' for a whole multi-byte character
        out += is_valid_name_char(c) ? static_cast<char>(c) : '_';
    }
    return out;
}

bool name_taken(int class_id, PARAM* parent, const std::string& candidate) {
    std::string buffer = candidate;
    if (class_id != 0) return CAM_ask_object_of_name(class_id, &buffer[0]) != nullptr;
    return CAM_ask_subop_of_name(parent, &buffer[0]) != nullptr;
}

// Unique name from `base`: among the objects of the class's view, or with
// class 0 among the sub-operations of `parent`.
//  1. base, then base_1, base_2 ... while the name is taken (up to _999);
//  2. a candidate of at most 30 characters is the result;
//  3. otherwise the candidate is cut and "~m" appended, m = 1, 2 ... (up to
//     ~9999), until the name is free; the cut keeps 26 characters, fewer
//     once "~m" is longer than four, so the name stays within 30.
std::string unique_name(int class_id, PARAM* parent, const std::string& base) {
    std::string candidate = base;
    for (int n = 1; name_taken(class_id, parent, candidate); ++n) {
        if (n > kMaxUnderscoreNumber)
            ERROR_internal(__FILE__, __LINE__, "No free name from %s up to _%d", base.c_str(), kMaxUnderscoreNumber);
        candidate = base + "_" + std::to_string(n);
    }
    if (candidate.size() <= kMaxLength) return candidate;
    for (int m = 1; m <= kMaxTildeNumber; ++m) {
        std::string tail = "~" + std::to_string(m);
        std::size_t keep = std::min(kTildeBaseLength, kMaxLength - tail.size());
        std::string numbered = cut(candidate, keep) + tail;
        if (!name_taken(class_id, parent, numbered)) return numbered;
    }
    ERROR_internal(__FILE__, __LINE__, "No free name from %s up to ~%d", candidate.c_str(), kMaxTildeNumber);
}

const char* copy_suffix(int option) {
    if (option < 0 || option > 2) ERROR_internal(__FILE__, __LINE__, "Invalid name copy option %d", option);
    return kCopySuffixes[option];
}

}  // namespace

int CAM_ask_default_number() { return 1; }

CAM_name_result_t CAM_name_validate(int class_id, Korvo::UString& name, CAM_name_first_char_t first) {
    return validate(class_id, name, first, true);
}

CAM_name_result_t CAM_name_validate_no_uc(int class_id, Korvo::UString& name, CAM_name_first_char_t first) {
    return validate(class_id, name, first, false);
}

CAM_name_result_t CAM_name_validate(int class_id, char* name, CAM_name_first_char_t first) {
    return validate_text(class_id, name, first, true);
}

CAM_name_result_t CAM_name_validate_no_uc(int class_id, char* name, CAM_name_first_char_t first) {
    return validate_text(class_id, name, first, false);
}

Korvo::UString CAM_name_make_valid(const Korvo::UString& name) {
    return Korvo::UString(make_valid(name.utf8_str()).c_str());
}

char* CAM_name_make_valid(const char* name) {
    MERROW1_REQUIRE(name, "DUE_TO_INVALID_INPUT", nullptr);
    std::string valid = make_valid(name);
    char* out = static_cast<char*>(SM_alloc(valid.size() + 1));
    if (!out) ERROR_internal(__FILE__, __LINE__, "Out of memory for a name of %zu bytes", valid.size());
    std::memcpy(out, valid.c_str(), valid.size() + 1);
    return out;
}

CAM_VIEW_s* CAM_ask_root_of_view(int class_id) {
    using Korvo::OM::IsSubClass;
    SETUP* setup = SETUP_ask_current_setup();
    if (!setup || class_id == 0) return nullptr;
    const auto id = static_cast<Korvo::OM::ClassId>(class_id);
    if (IsSubClass(id, NCGEOMClassId)) return SETUP_ask_view(setup, SETUP_GEOMETRY_VIEW);
    if (IsSubClass(id, NCTASKClassId) || IsSubClass(id, OPRClassId)) return SETUP_ask_view(setup, SETUP_PROGRAM_VIEW);
    if (IsSubClass(id, NCMCTClassId) || id == CUTTERClassId || id == NCMCT_turretClassId ||
        id == NCMCT_pocketClassId || id == NCMCT_headClassId)
        return SETUP_ask_view(setup, SETUP_MACHINE_TOOL_VIEW);
    if (IsSubClass(id, NCMTHDClassId)) return SETUP_ask_view(setup, SETUP_METHOD_VIEW);
    return nullptr;
}

PARAM* CAM_ask_object_of_name(int class_id, char* name) {
    MERROW1_REQUIRE(name, "DUE_TO_INVALID_INPUT", nullptr);
    CAM_VIEW_s* view = CAM_ask_root_of_view(class_id);
    return view ? CAM_VIEW_ask_object_of_name(view, name) : nullptr;
}

PARAM* CAM_ask_subop_of_name(PARAM* parent, char* name) {
    if (!parent || !name) return nullptr;
    const int count = PARAM_ask_subop_count(parent);
    for (int i = 0; i < count; ++i) {
        PARAM* subop = PARAM_ask_subop(parent, i);
        if (subop && std::strcmp(PARAM_ask_name(subop), name) == 0) return subop;
    }
    return nullptr;
}

bool CAM_name_exists(int class_id, char* name) {
    MERROW1_REQUIRE(name, "DUE_TO_INVALID_INPUT", false);
    std::string text = upper_cased(trimmed(name));
    std::memcpy(name, text.c_str(), text.size() + 1);
    if (text.empty()) return false;
    return CAM_ask_object_of_name(class_id, name) != nullptr;
}

void CAM_ask_default_name(int class_id, char* base, char* result) {
    MERROW1_REQUIRE(base && result, "DUE_TO_INVALID_INPUT", );
    write_name(unique_name(class_id, nullptr, base), result);
}

void CAM_ask_subop_default_name(PARAM* parent, char* base, char* result) {
    MERROW1_REQUIRE(base && result, "DUE_TO_INVALID_INPUT", );
    write_name(unique_name(0, parent, base), result);
}

void CAM_get_copy_of_name(char* name, int class_id, char* result, int option) {
    const char* suffix = copy_suffix(option);
    MERROW1_REQUIRE(name && result, "DUE_TO_INVALID_INPUT", );
    write_name(unique_name(class_id, nullptr, std::string(name) + suffix), result);
}

void CAM_get_name_with_initial_value(char* name, int class_id, int initial, char* result, int option) {
    const char* suffix = copy_suffix(option);
    MERROW1_REQUIRE(name && result, "DUE_TO_INVALID_INPUT", );
    const std::string base = std::string(name) + suffix;
    std::string candidate = base + "_" + std::to_string(initial);
    if (candidate.size() > kMaxLength) {
        std::string tail = "~_" + std::to_string(initial);
        candidate = cut(candidate, kMaxLength - tail.size()) + tail;
    }
    if (CAM_name_exists(class_id, &candidate[0]))
        write_name(unique_name(class_id, nullptr, base), result);
    else
        write_name(candidate.c_str(), result);
}
