// Host character classes and the illegal-character test of names.
#pragma once

// Whether the character is an ASCII letter or digit (letter).
int TEXT_isalnum(int c);
int TEXT_isalpha(int c);
// 1 when the text holds a character the host does not allow in names.
int HV_STRING_contain_illegal_char(const char* text);
