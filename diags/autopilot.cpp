#include "autopilot.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "conio.h"
#include "oxpipe.h"
#include "palette.h"
#include "plscreen.h"

Autopilot *autopilot = nullptr;

void autopilot_answer(const char *what, int key, bool leaves)
{
    if (autopilot)
        autopilot->question(what, key, leaves);
}

namespace {

// The main menu's entry for each step.
int menu_entry(RackStep s)
{
    switch (s) {
    case RackStep::BASIC:
        return 0;
    case RackStep::ADVANCED:
        return 1;
    case RackStep::BURNIN:
        return 3;
    case RackStep::COPY:
        break;
    }
    return 4;
}

// How long the disk list scrolls one page: each page stays long enough to read.
constexpr int page_seconds = 3;
constexpr int list_rows = 4;

std::string json_string(const std::string &s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7f) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string utc_now()
{
    char buf[32];
    const time_t t = time(nullptr);
    struct tm tm;
    gmtime_r(&t, &tm);
    strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

std::string seconds_text(long long s)
{
    char buf[32];
    snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return buf;
}

} // namespace

Autopilot::Autopilot(RackSettings settings)
    : set(std::move(settings)), on(set.automatic()), automation(on ? "running" : "off")
{
    if (!set.errors.empty()) {
        automation = "stopped:";
        for (const std::string &e : set.errors)
            automation += " " + e;
    }
}

Autopilot::~Autopilot() = default;

void Autopilot::at_menu()
{
    live.step = "menu";
    if (!on)
        return publish();
    if (nextstep < set.steps.size()) {
        const RackStep s = set.steps[nextstep++];
        std::vector<int> keys{KEY_HOME};
        for (int i = 0; i < menu_entry(s); i++)
            keys.push_back(KEY_DOWN);
        keys.push_back(KEY_ENTER);
        plan(std::string("starting ") + rack_step_name(s) + ".", keys, set.countdown);
    } else if (set.at_end == AtEnd::STAY) {
        stop("finished");
    } else {
        plan(set.at_end == AtEnd::POWEROFF ? "quitting to power off." : "quitting to reboot.", {KEY_ESC},
             set.countdown);
    }
    publish();
}

void Autopilot::question(const char *what, int key, bool leaves)
{
    if (on && leaves && nextstep >= set.steps.size() && set.at_end == AtEnd::STAY)
        stop("finished");
    else if (on)
        plan(std::string("answering \"") + what + "\".", {key}, set.countdown);
    publish();
}

void Autopilot::list_disks()
{
    if (!on)
        return;
    disks.clear();
    const char *const argv[] = {"diskburn", "--list", nullptr};
    OxPipe list(OxPipe::reading("diskburn", argv));
    OxString line;
    while (disks.size() < 10000 && list.getline(line, 30000, '\n', 1024)) {
        std::string text = line.str();
        while (!text.empty() && (unsigned char)text[0] <= ' ')
            text.erase(0, 1);
        if (!text.empty())
            disks.push_back(text);
    }
    list.finish(true);
    if (list.exit_status() != 0)
        disks.push_back("diskburn --list ended with code " + std::to_string(list.exit_status()) + ".");
}

void Autopilot::time_left(long long seconds)
{
    live.time_left = seconds;
}

void Autopilot::at_exit()
{
    live.step = "done";
    if (on && nextstep >= set.steps.size() && set.at_end != AtEnd::STAY)
        live.at_end = set.at_end == AtEnd::POWEROFF ? "poweroff" : "reboot";
    publish(true);
}

// The state file, rewritten whole (a new file renamed over the old) when
// what it says changed, at most once a second but at once for a new step.
void Autopilot::publish(bool now)
{
    if (set.state_file.empty())
        return;
    std::string body = "\"step\":" + json_string(live.step) + ",\"automation\":" + json_string(automation) +
                       ",\"next\":" + json_string(doing) + ",\"passes\":{\"network\":" + std::to_string(live.netpass) +
                       ",\"disk\":" + std::to_string(live.diskpass) + "},\"network\":" + json_string(live.network) +
                       ",\"disk\":" + json_string(live.disk) + ",\"message\":" + json_string(live.message) +
                       ",\"verdict\":" + json_string(live.verdict) + ",\"time_left\":" +
                       (live.time_left < 0 ? std::string("null") : std::to_string(live.time_left)) +
                       ",\"at_end\":" + json_string(live.at_end);
    const long long clock = ox_monotonic_ms();
    const bool newstep = lastjson.find("\"step\":" + json_string(live.step) + ",") == std::string::npos;
    unwritten = body != lastjson;
    if (!unwritten || (!newstep && !now && clock - lastwrite < 1000))
        return;
    unwritten = false;
    lastjson = body;
    lastwrite = clock;
    const std::string json = "{\"schema\":\"rundiags-state/1\",\"time\":\"" + utc_now() + "\"," + body + "}\n";
    const std::string tmp = set.state_file + ".new";
    const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const bool written = write(fd, json.data(), json.size()) == ssize_t(json.size());
    close(fd);
    if (written)
        rename(tmp.c_str(), set.state_file.c_str());
}

void Autopilot::plan(const std::string &what, std::vector<int> keys, int seconds)
{
    // The list of disks stays for a page at a time before the first question.
    const int pages = int((disks.size() + list_rows - 1) / list_rows);
    if (!disks.empty() && pages * page_seconds > seconds)
        seconds = pages * page_seconds;
    doing = what;
    planned = std::move(keys);
    answer_at = ox_monotonic_ms() + seconds * 1000LL;
}

void Autopilot::stop(const std::string &why)
{
    on = false;
    planned.clear();
    disks.clear();
    answer_at = -1;
    automation = why;
}

long long Autopilot::due() const
{
    // The window's clocks move once a second; a state held back by the
    // once-a-second rule is written at the next.
    if (answer_at >= 0 || live.time_left >= 0 || unwritten)
        return ox_monotonic_ms() / 1000 * 1000 + 1000;
    return -1;
}

void Autopilot::supply(std::vector<Event> &out)
{
    publish();
    if (!on || answer_at < 0 || ox_monotonic_ms() < answer_at)
        return;
    for (int key : planned) {
        Event e(Event::KEY, key);
        e.supplied = true;
        out.push_back(e);
    }
    planned.clear();
    disks.clear();
    answer_at = -1;
    doing.clear();
}

bool Autopilot::intercept(const Event &)
{
    if (!on)
        return false;
    stop("taken over");
    publish(true);
    return true;
}

// One line: what runs by itself and what comes next, or the burn-in's time.
std::string Autopilot::bar() const
{
    std::string text;
    if (on) {
        text = "Unattended (any key takes over).";
        if (answer_at >= 0) {
            const long long left = (answer_at - ox_monotonic_ms() + 999) / 1000;
            text += " In " + std::to_string(left < 0 ? 0 : left) + " s: " + doing;
        }
    }
    if (live.time_left >= 0)
        text += (text.empty() ? "" : " ") + std::string("Burn-in time left ") + seconds_text(live.time_left) + ".";
    return text;
}

void Autopilot::overlay(bool show)
{
    if (!show) {
        if (diskwin)
            diskwin->hide();
        if (barwin)
            barwin->hide();
        return;
    }
    show_bar();
    show_disks();
}

// The bar lies on the row above the status line, where the live runs have
// the Details list's lower frame: it hides none of their lines.
void Autopilot::show_bar()
{
    const std::string text = bar();
    if (text.empty())
        return;
    const int w = screen.getxsize(), h = screen.getysize();
    if (!barwin)
        barwin = std::make_unique<PlWin>(PlRect(1, h - 1, w, h - 1));
    barwin->show();
    barwin->unfocus();
    barwin->focus();
    textattr(PANEL_COLORS.bg << 4 | PANEL_COLORS.fg);
    clrscr();
    cputs_text(OxString(" " + std::string(text, 0, size_t(w - 2))));
    barwin->unfocus();
}

// Before the burn-in's first question, what it will destroy and leave out,
// a page at a time, above the question.
void Autopilot::show_disks()
{
    if (!on || disks.empty())
        return;
    const int w = screen.getxsize();
    if (!diskwin) {
        const PlWinStyle saved = winstyle;
        winstyle.explode = 0;
        diskwin = std::make_unique<OvlWin>("The burn-in's disks", PlRect(3, 2, w - 2, 3 + list_rows),
                                           PANEL_COLORS.fg, PANEL_COLORS.bg, PANEL_COLORS.frame, true);
        diskwin->show();
        winstyle = saved;
    } else {
        diskwin->show();
    }
    diskwin->unfocus();
    diskwin->focus();
    clrscr();
    const long long left = answer_at < 0 ? 0 : (answer_at - ox_monotonic_ms()) / 1000 / page_seconds;
    const size_t pages = (disks.size() + list_rows - 1) / list_rows;
    const size_t page = pages - 1 - size_t(left) % pages;
    for (size_t i = page * list_rows; i < disks.size() && i < (page + 1) * list_rows; i++) {
        cputs_text(OxString(std::string(disks[i], 0, size_t(w - 8))));
        cputs("\r\n");
    }
    diskwin->unfocus();
}
