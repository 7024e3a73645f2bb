#include "oxstring.h"

#include <cstring>

OxString::OxString(const char *text) : s(text ? text : "") {}
OxString::OxString(std::string_view bytes) : s(bytes) {}
OxString::OxString(const std::string &bytes) : s(bytes) {}
OxString::OxString(std::string &&bytes) : s(std::move(bytes)) {}
OxString::OxString(int value) : s(std::to_string(value)) {}
OxString::OxString(long value) : s(std::to_string(value)) {}
OxString::OxString(long long value) : s(std::to_string(value)) {}
OxString::OxString(unsigned value) : s(std::to_string(value)) {}
OxString::OxString(unsigned long value) : s(std::to_string(value)) {}
OxString::OxString(unsigned long long value) : s(std::to_string(value)) {}

bool OxString::operator==(const char *text) const
{
    // Compares all bytes: a value holding a NUL never equals a C string.
    return s == std::string_view(text ? text : "");
}

OxString &OxString::append(const OxString &text)
{
    s += text.s;
    return *this;
}

OxString OxString::format(const char *format, const OxString *args, size_t nargs)
{
    OxString out;
    out.assign_format(format, args, nargs);
    return out;
}

namespace {
// Field sizes come from format texts in the program, but a typo must not ask
// for gigabytes of padding.
constexpr size_t field_limit = 1 << 20;

size_t read_number(const char *&p)
{
    size_t v = 0;
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + size_t(*p++ - '0');
        if (v > field_limit)
            v = field_limit;
    }
    return v;
}
} // namespace

void OxString::assign_format(const char *format, const OxString *args, size_t nargs)
{
    std::string out;
    size_t next = 0;
    const char *p = format ? format : "";
    while (*p) {
        if (*p != '%') {
            const char *q = std::strchr(p, '%');
            size_t n = q ? size_t(q - p) : std::strlen(p);
            out.append(p, n);
            p += n;
            continue;
        }
        const char *field = p++;
        if (*p == '%') {
            out += '%';
            ++p;
            continue;
        }
        bool left = false;
        while (*p == '-') {
            left = true;
            ++p;
        }
        size_t width = read_number(p);
        bool hasprec = false;
        size_t prec = 0;
        if (*p == '.') {
            ++p;
            hasprec = true;
            prec = read_number(p);
        }
        // Integers arrive already in decimal, so %d, %i and %u take their
        // argument just as %s does; anything else is copied as written.
        if (*p != 's' && *p != 'd' && *p != 'i' && *p != 'u') {
            size_t n = size_t(p - field);
            out.append(field, n);
            continue;
        }
        ++p;
        std::string_view arg;
        if (next < nargs)
            arg = args[next].view();
        ++next;
        if (hasprec && arg.size() > prec)
            arg = arg.substr(0, prec);
        size_t pad = width > arg.size() ? width - arg.size() : 0;
        if (!left)
            out.append(pad, ' ');
        out.append(arg);
        if (left)
            out.append(pad, ' ');
    }
    s = std::move(out);
}

char *trim_string(char *text)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
    while (blank(*text))
        ++text;
    size_t n = std::strlen(text);
    while (n > 0 && blank(text[n - 1]))
        --n;
    text[n] = '\0';
    return text;
}
