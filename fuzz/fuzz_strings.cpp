// Text formatting with any format and any arguments, list splitting with
// any separators and limit, and trimming, each against a plain reference.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzzterm.h"
#include "oxstring.h"
#include "oxstringlist.h"

namespace {

// A format whose fields the C library formats the same way: '%%' or
// '-'* width? ('.' precision?)? and s/d/i/u, widths and precisions of at most
// four digits and no leading zero (the C library reads that as a flag).
bool printf_compatible(const std::string &f)
{
    for (size_t i = 0; i < f.size(); i++) {
        if (f[i] != '%')
            continue;
        if (++i < f.size() && f[i] == '%')
            continue;
        while (i < f.size() && f[i] == '-')
            i++;
        auto digits = [&](bool lead0ok) {
            size_t n = 0;
            if (i < f.size() && f[i] == '0' && !lead0ok)
                return false;
            while (i < f.size() && f[i] >= '0' && f[i] <= '9')
                i++, n++;
            return n <= 4;
        };
        if (!digits(false))
            return false;
        if (i < f.size() && f[i] == '.') {
            i++;
            if (!digits(true))
                return false;
        }
        if (i >= f.size() || !std::strchr("sdiu", f[i]))
            return false;
    }
    return true;
}

std::string reference_format(std::string f, const std::vector<std::string> &args)
{
    // Every conversion becomes %s; missing arguments are empty.
    int fields = 0;
    for (size_t i = 0; i < f.size(); i++) {
        if (f[i] != '%')
            continue;
        if (f[i + 1] == '%') {
            i++;
            continue;
        }
        while (!std::strchr("sdiu", f[i]))
            i++;
        f[i] = 's';
        fields++;
    }
    std::vector<const char *> a;
    for (int k = 0; k < fields; k++)
        a.push_back(size_t(k) < args.size() ? args[k].c_str() : "");
    while (a.size() < 64)
        a.push_back("");
    // At most 64 fields: the generator below never makes more.
    char probe[1];
    int n = snprintf(probe, 0, f.c_str(), a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10],
                     a[11], a[12], a[13], a[14], a[15], a[16], a[17], a[18], a[19], a[20], a[21], a[22], a[23],
                     a[24], a[25], a[26], a[27], a[28], a[29], a[30], a[31], a[32], a[33], a[34], a[35], a[36],
                     a[37], a[38], a[39], a[40], a[41], a[42], a[43], a[44], a[45], a[46], a[47], a[48], a[49],
                     a[50], a[51], a[52], a[53], a[54], a[55], a[56], a[57], a[58], a[59], a[60], a[61], a[62],
                     a[63]);
    (void)probe;
    std::string out(size_t(n) + 1, '\0');
    snprintf(out.data(), out.size(), f.c_str(), a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9],
             a[10], a[11], a[12], a[13], a[14], a[15], a[16], a[17], a[18], a[19], a[20], a[21], a[22], a[23],
             a[24], a[25], a[26], a[27], a[28], a[29], a[30], a[31], a[32], a[33], a[34], a[35], a[36], a[37],
             a[38], a[39], a[40], a[41], a[42], a[43], a[44], a[45], a[46], a[47], a[48], a[49], a[50], a[51],
             a[52], a[53], a[54], a[55], a[56], a[57], a[58], a[59], a[60], a[61], a[62], a[63]);
    out.resize(size_t(n));
    return out;
}

std::vector<std::string> reference_split(const std::string &text, const std::string &seps, int limit)
{
    auto issep = [&](char c) { return c != '\0' && seps.find(c) != std::string::npos; };
    std::vector<size_t> starts;
    std::vector<std::string> pieces;
    std::string cur;
    bool in = false;
    for (size_t i = 0; i <= text.size(); i++) {
        if (i < text.size() && !issep(text[i])) {
            if (!in)
                starts.push_back(i);
            in = true;
            cur += text[i];
        } else if (in) {
            pieces.push_back(cur);
            cur.clear();
            in = false;
        }
    }
    if (limit > 0 && pieces.size() >= size_t(limit)) {
        pieces.resize(size_t(limit) - 1);
        pieces.push_back(text.substr(starts[size_t(limit) - 1]));
    }
    return pieces;
}

std::string reference_trim(const std::string &s)
{
    const char *blanks = " \t\r\n\v\f";
    size_t a = s.find_first_not_of(blanks);
    if (a == std::string::npos)
        return "";
    size_t b = s.find_last_not_of(blanks);
    return s.substr(a, b - a + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    // Pieces are separated by 0xFF: the format, the separators, then arguments.
    std::vector<std::string> parts;
    std::string all = in.rest();
    for (size_t s = 0;;) {
        size_t e = all.find('\xff', s);
        parts.push_back(all.substr(s, e == std::string::npos ? std::string::npos : e - s));
        if (e == std::string::npos)
            break;
        s = e + 1;
    }
    const std::string format = parts[0];
    const std::string seps = parts.size() > 1 ? parts[1] : std::string(" =");
    std::vector<std::string> args(parts.begin() + (parts.size() > 2 ? 2 : parts.size()), parts.end());
    if (args.size() > 20)
        args.resize(20);

    std::vector<OxString> oxargs(args.begin(), args.end());
    OxString got = OxString::format(format.c_str(), oxargs.data(), oxargs.size());
    // The format is a C string: it ends at its first NUL.
    const std::string cformat = format.c_str();
    bool plain = true;
    for (const auto &a : args)
        plain = plain && a.find('\0') == std::string::npos;
    size_t percents = 0;
    for (char c : cformat)
        percents += c == '%';
    if (plain && percents <= 64 && printf_compatible(cformat) && got.str() != reference_format(cformat, args))
        abort();
    if (cformat.find('%') == std::string::npos && got.str() != cformat)
        abort();
    // The variadic form the program uses agrees with the array form.
    if (args.size() >= 2 && OxString(format.c_str(), oxargs[0], oxargs[1]).str() !=
                                OxString::format(format.c_str(), oxargs.data(), 2).str())
        abort();

    const int limit = format.empty() ? 0 : (unsigned char)format[0] % 6;
    OxStringList list;
    list.split(OxString(all), seps.c_str(), limit);
    std::vector<std::string> want = reference_split(all, seps.c_str(), limit);
    if (list.count() != want.size())
        abort();
    for (size_t i = 0; i < want.size(); i++)
        if (list[i].str() != want[i])
            abort();
    while (!list.empty())
        (void)list.popstr();
    if (list.popstr().len() != 0)
        abort();

    OxString t(cformat);
    if (std::string(trim_string(t.edit())) != reference_trim(cformat))
        abort();
    return 0;
}
