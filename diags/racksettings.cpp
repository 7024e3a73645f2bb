#include "racksettings.h"

#include <cctype>

namespace {

std::string value_of(const EnvReader &env, const char *name)
{
    const char *v = env(name);
    return v ? v : "";
}

std::string quoted(const std::string &s)
{
    std::string q = "\"";
    for (unsigned char c : s)
        q += c < 0x20 || c == 0x7f ? '?' : char(c);
    return q + "\"";
}

void read_steps(const std::string &text, RackSettings &r)
{
    static const struct {
        const char *name;
        RackStep step;
    } names[] = {{"basic", RackStep::BASIC}, {"advanced", RackStep::ADVANCED}, {"burnin", RackStep::BURNIN},
                 {"copy", RackStep::COPY}};
    size_t at = 0;
    while (at <= text.size() && !text.empty()) {
        const size_t comma = text.find(',', at);
        const std::string word = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        bool known = false;
        for (const auto &n : names)
            if (word == n.name) {
                r.steps.push_back(n.step);
                known = true;
            }
        if (!known)
            r.errors.push_back("RUNDIAGS_STEPS: " + quoted(word) + " is no step (basic, advanced, burnin, copy).");
        if (comma == std::string::npos)
            break;
        at = comma + 1;
    }
}

// A whole number with s, m or h after it; a bare number is minutes.
long long read_duration(const std::string &text)
{
    size_t digits = 0;
    while (digits < text.size() && isdigit((unsigned char)text[digits]))
        digits++;
    if (digits == 0 || digits > 9)
        return -1;
    const std::string unit = text.substr(digits);
    const long long n = std::stoll(text.substr(0, digits));
    if (unit == "s")
        return n;
    if (unit == "m" || unit.empty())
        return n * 60;
    if (unit == "h")
        return n * 3600;
    return -1;
}

// http://host[:port]/path/ : a host, and nothing a shell or a URL would take apart.
bool is_http_address(const std::string &url)
{
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0 || url.size() == scheme.size() || url.back() != '/')
        return false;
    if (url[scheme.size()] == '/' || url[scheme.size()] == ':')
        return false;
    for (unsigned char c : url)
        if (c <= 0x20 || c >= 0x7f || c == '"' || c == '\'' || c == '\\' || c == '`' || c == '?' || c == '#')
            return false;
    return true;
}

} // namespace

const char *rack_step_name(RackStep s)
{
    switch (s) {
    case RackStep::BASIC:
        return "the basic probe";
    case RackStep::ADVANCED:
        return "the advanced probe";
    case RackStep::BURNIN:
        return "the burn-in";
    case RackStep::COPY:
        break;
    }
    return "the copy of the results";
}

RackSettings read_rack_settings(const EnvReader &env)
{
    RackSettings r;
    read_steps(value_of(env, "RUNDIAGS_STEPS"), r);
    const std::string time = value_of(env, "RUNDIAGS_BURNIN_TIME");
    if (!time.empty() && (r.burnin_seconds = read_duration(time)) <= 0)
        r.errors.push_back("RUNDIAGS_BURNIN_TIME: " + quoted(time) +
                           " is not a duration (a whole number with s, m or h).");
    const std::string end = value_of(env, "RUNDIAGS_AT_END");
    if (end == "poweroff")
        r.at_end = AtEnd::POWEROFF;
    else if (end == "reboot")
        r.at_end = AtEnd::REBOOT;
    else if (!end.empty() && end != "stay")
        r.errors.push_back("RUNDIAGS_AT_END: " + quoted(end) + " is not stay, poweroff or reboot.");
    const std::string count = value_of(env, "RUNDIAGS_COUNTDOWN");
    const long long c = count.empty() ? 10 : read_duration(count + "s");
    if (c < 0 || c > 3600)
        r.errors.push_back("RUNDIAGS_COUNTDOWN: " + quoted(count) + " is not a number of seconds.");
    else
        r.countdown = int(c);
    r.results = value_of(env, "RUNDIAGS_RESULTS");
    if (!r.results.empty() && !is_http_address(r.results))
        r.errors.push_back("RUNDIAGS_RESULTS: " + quoted(r.results) + " is not an address http://HOST/PATH/.");
    r.state_file = value_of(env, "RUNDIAGS_STATE_FILE");

    bool burnin = false;
    for (RackStep s : r.steps)
        burnin = burnin || s == RackStep::BURNIN;
    if (burnin && value_of(env, "RUNDIAGS_DESTROY") != destroy_words)
        r.errors.push_back(std::string("RUNDIAGS_DESTROY: the burn-in runs unattended only with RUNDIAGS_DESTROY=") +
                           destroy_words + ".");
    if (burnin && value_of(env, "DISKBURN_BOOT_DEVICE").empty() && value_of(env, "RUNDIAGS_NETBOOT") != "1")
        r.errors.push_back("DISKBURN_BOOT_DEVICE: the boot device is not known and the machine was not "
                           "netbooted: the burn-in does not run unattended.");
    return r;
}
