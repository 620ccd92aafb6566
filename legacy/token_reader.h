// Blank-separated tokens of a text file, read into a bounded buffer, for the
// developer drivers that read their test files token by token.
#pragma once

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace merrow1 {

class TokenReader {
public:
    // Longest token kept; a longer one is consumed whole and reported as too
    // long, with an empty text.
    static const int kMaxToken = 255;

    explicit TokenReader(FILE* file) : m_file(file) { m_text[0] = '\0'; }

    // Reads the next token; false at the end of the file.
    bool next() {
        int c;
        do c = std::getc(m_file);
        while (c != EOF && std::isspace(c));
        if (c == EOF) return false;
        int length = 0;
        m_too_long = false;
        for (; c != EOF && !std::isspace(c); c = std::getc(m_file)) {
            if (length < kMaxToken)
                m_text[length++] = static_cast<char>(c);
            else
                m_too_long = true;
        }
        m_text[m_too_long ? 0 : length] = '\0';
        return true;
    }

    const char* text() const { return m_text; }
    bool too_long() const { return m_too_long; }

    // The next token as a number written whole as "%le" reads it (nan and
    // infinities included); false when no token is left or it is not one.
    bool next_double(double* value) {
        if (!next() || m_too_long || m_text[0] == '\0') return false;
        char* end = nullptr;
        *value = std::strtod(m_text, &end);
        return *end == '\0';
    }
    // As next_double, and the number must be finite (1e999 is not).
    bool next_finite_double(double* value) { return next_double(value) && std::isfinite(*value); }
    // The next token as a decimal int written whole; false when no token is
    // left, it is not one, or it does not fit an int.
    bool next_int(int* value) {
        if (!next() || m_too_long || m_text[0] == '\0') return false;
        char* end = nullptr;
        errno = 0;
        const long long v = std::strtoll(m_text, &end, 10);
        if (*end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
        *value = static_cast<int>(v);
        return true;
    }

private:
    FILE* m_file;
    char m_text[kMaxToken + 1];
    bool m_too_long = false;
};

// Closes a stdio file on every exit.
struct FileCloser {
    FILE* file;
    ~FileCloser() {
        if (file) std::fclose(file);
    }
};

}  // namespace merrow1
