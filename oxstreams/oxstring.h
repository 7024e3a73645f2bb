// Text values with a small printf-like formatter, and whitespace trimming.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A text value. It may hold any byte, NUL included (helper output is stored
// as received); cstr() is always NUL-terminated for C-string consumers.
class OxString {
public:
    OxString() = default;
    OxString(const char *text);                  // NULL counts as the empty text
    OxString(std::string_view bytes);
    OxString(const std::string &bytes);
    OxString(std::string &&bytes);
    explicit OxString(int value);                // decimal
    explicit OxString(long value);               // decimal
    explicit OxString(long long value);          // decimal
    explicit OxString(unsigned value);           // decimal
    explicit OxString(unsigned long value);      // decimal
    explicit OxString(unsigned long long value); // decimal

    // Formatted construction: "%s" takes the next argument, "%%" gives "%".
    // A field may carry the '-' flag (pad on the right), a width (pad with
    // blanks) and a precision (cut to that many bytes), e.g. "%-25s", "%9.9s".
    // Missing arguments format as the empty text; at most 20 arguments.
    // "%d", "%i" and "%u" take their (already decimal) argument like "%s";
    // any other conversion is copied as written.
    // Arguments may be OxStrings, C strings or integers.
    template <class First, class... Args>
    OxString(const char *format, const First &first, const Args &...rest)
    {
        static_assert(sizeof...(rest) < 20, "at most 20 arguments");
        const OxString args[] = {OxString(first), OxString(rest)...};
        assign_format(format, args, 1 + sizeof...(rest));
    }

    static OxString format(const char *format, const OxString *args, size_t nargs);

    const char *cstr() const { return s.c_str(); }
    size_t len() const { return s.size(); }
    const std::string &str() const { return s; }
    std::string_view view() const { return s; }
    char operator[](size_t i) const { return s[i]; }

    bool operator!() const { return s.empty(); }
    bool operator==(const char *text) const;
    bool operator!=(const char *text) const { return !(*this == text); }
    bool operator==(const OxString &o) const { return s == o.s; }
    bool operator!=(const OxString &o) const { return s != o.s; }

    // A private writable copy, NUL-terminated, valid until the next change.
    char *edit() { return s.data(); }

    OxString &append(const OxString &text);
    template <class First, class... Args>
    OxString &append(const char *format, const First &first, const Args &...rest)
    {
        return append(OxString(format, first, rest...));
    }

private:
    void assign_format(const char *format, const OxString *args, size_t nargs);
    std::string s;
};

// Everything that takes an OxFastString takes an OxString.
using OxFastString = OxString;

// Strips leading and trailing blanks (spaces, tabs, CR, LF, VT, FF) of a writable NUL-terminated
// string in place; returns the first kept character.
char *trim_string(char *text);
