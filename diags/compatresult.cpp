#include "compatresult.h"

#include <string>
#include <string_view>

#include "conio.h"
#include "marked.h"

namespace {

// Between the devices of a field: a comma in the label colour and a blank.
constexpr MarkedWord comma(MARK_LABEL, ",");
constexpr MarkedWord alertnone(MARK_ALERT, "NONE");

// trim_string works on NUL-terminated text; helper lines may hold NUL bytes,
// so trim the same blanks on the bytes themselves and keep everything after.
std::string_view trimmed(std::string_view s)
{
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos)
        return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool begins(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

// The summary's own colour markers must stay the only ones: a marker byte in
// the helper's text would recolour the rest of the summary, so it becomes a blank.
OxString unmarked(const OxString &text)
{
    std::string s = text.str();
    for (char &c : s)
        if (is_marker(c))
            c = ' ';
    return OxString(std::move(s));
}

void status_step(CompatResult &r, const OxString &stat)
{
    const OxString &k = r.category;
    if (k != "VIDEO" && k != "DISK")
        r.description = shortname(r.description);
    OxString d = unmarked(r.description);

    if (k == "CPU") {
        r.cpucount++;
        if (!r.cpu)
            addstr(r.cpu, d, stat);
    } else if (k == "MEMORY") {
        addstr(r.memory, d, stat);
    } else if (k == "VIDEO") {
        addstr(r.video, d, stat);
    } else if (k == "IDE" || k == "SCSI" || k == "RAID") {
        addstr(r.scsi, OxString("%s %s", d, k), stat);
    } else if (k == "DISK") {
        r.description = diskname(r.description);
        addstr(r.disks, unmarked(r.description), stat);
    } else if (k == "NETWORK") {
        addstr(r.network, d, stat);
    } else if (k == "SERIAL") {
        addstr(r.serial, d, stat);
    } else if (k == "PARALLEL") {
        addstr(r.parallel, d, stat);
    }
}

OxString cputext(const OxString &cpu, int count)
{
    if (count == 0)
        return "??";
    return OxString("%s x %s", cpu, OxString(count));
}

OxString memtext(const OxString &memory)
{
    if (!memory)
        return OxString();
    return OxString("%s usable", memory);
}

} // namespace

void addstr(OxString &field, const OxFastString &text, const OxFastString &stat)
{
    if (!begins(stat.view(), "SUPPORTED"))
        return;     // UNSUPPORTED, SUPPORT UNKNOWN and anything else stay out of the summary
    if (!field)
        field = text;
    else
        field.append(comma.cstr()).append(" ").append(text);
}

void addnone(OxString &field, bool flag)
{
    if (flag)
        addstr(field, alertnone.cstr(), "SUPPORTED");
}

OxString shortname(const OxFastString &description)
{
    std::string_view p = description.view();
    size_t open = p.rfind('(');
    if (open != std::string_view::npos) {
        p = p.substr(open + 1);
        p = trimmed(p.substr(0, p.find(')')));
    }
    size_t bracket = p.find('[');
    if (bracket != std::string_view::npos) {
        p = p.substr(bracket + 1);
        p = trimmed(p.substr(0, p.find(']')));
    }
    return OxString(p.substr(0, p.find_first_of(std::string_view(" \t,.;[]", 7))));
}

OxString diskname(const OxFastString &description)
{
    std::string_view d = description.view();
    size_t open = d.rfind('(');
    if (open != std::string_view::npos)
        d = d.substr(0, open);
    size_t dash = d.rfind('-');
    if (dash != std::string_view::npos && dash + 1 < d.size() && d[dash + 1] == ' ')
        return OxString(trimmed(d.substr(dash + 2)));
    return shortname(OxString(d));
}

void compat_clear(CompatResult &r)
{
    r = CompatResult();
}

void compat_line(CompatResult &r, const OxString &line)
{
    std::string_view l = line.view();
    size_t colon = l.find(':');
    bool hascolon = colon != std::string_view::npos;

    if (begins(l, "   Status: ")) {
        status_step(r, OxString(trimmed(l.substr(10))));
    } else if (begins(l, "Memory ") && hascolon) {
        addstr(r.memory, unmarked(OxString(trimmed(l.substr(colon + 1)))), "SUPPORTED");
    } else if (begins(l, "ttyS") && hascolon) {
        addstr(r.serial, unmarked(OxString(trimmed(l.substr(0, colon)))), "SUPPORTED");
    } else if (hascolon && l.find(' ') == colon + 1) {
        r.category = OxString(trimmed(l.substr(0, colon)));
        r.description = OxString(trimmed(l.substr(colon + 1)));
    }
}

void compat_close(CompatResult &r)
{
    // Every empty field but Serial and Parallel reads NONE: missing serial or
    // parallel ports are normal on servers.
    for (OxString *f : {&r.cpu, &r.memory, &r.video, &r.scsi, &r.disks, &r.network})
        if (!*f)
            addnone(*f, true);
}

OxString compat_cputext(const CompatResult &r)
{
    return cputext(r.cpu, r.cpucount);
}

OxString compat_memtext(const CompatResult &r)
{
    return memtext(r.memory);
}

void compat_drawsummary(const CompatResult &r)
{
    static const char format[] = "\x08      CPU:\x08 %-25s     \x08Memory:\x08 %s\r\n"
                                 "\x08   Serial:\x08 %s\r\n"
                                 "\x08 Parallel:\x08 %s\r\n"
                                 "\x08    Video:\x08 %s\r\n"
                                 "\x08  Network:\x08 %s\r\n"
                                 "\x08 SCSI/IDE:\x08 %s\r\n"
                                 "\x08    Disks:\x08 %s";
    text_info t;
    gettextinfo(&t);
    const int rows = t.winbottom - t.wintop + 1, cols = t.winright - t.winleft + 1;
    // Field values hold helper text: control bytes must show as blanks and
    // never move the cursor; only the colour markers pass. A field grown far
    // past its row is printed only as far as the row can show it; it holds
    // markers only in pairs (the helper's own are blanked), which spares
    // reading its middle on every redraw.
    const size_t room = size_t(cols > 0 ? cols : 1);
    auto clip = [room](const OxString &v) { return clip_marked(v, room, true); };
    auto safe = [clip](const OxString &v) { return blank_controls(clip(v), true); };
    const OxString cpu = safe(cputext(clip(r.cpu), r.cpucount));
    const OxString mem = safe(memtext(clip(r.memory)));

    if (rows >= 7) {
        cprintf_marked(PANEL_TEXT, format, cpu, mem, safe(r.serial), safe(r.parallel), safe(r.video),
                       safe(r.network), safe(r.scsi), safe(r.disks));
        return;
    }
    // A window squeezed by a tiny terminal: a line feed below its last row
    // would stop the program, so print only the rows that fit.
    OxString text(format, cpu, mem, safe(r.serial), safe(r.parallel), safe(r.video), safe(r.network), safe(r.scsi),
                  safe(r.disks));
    std::string_view v = text.view();
    size_t end = 0;
    for (int i = 0; i < rows && end != std::string_view::npos; i++)
        end = v.find("\r\n", i == 0 ? 0 : end + 2);
    cputs_marked(PANEL_TEXT, OxString(v.substr(0, end)));
}
