// The program: the one terminal screen, the application frame and the main menu.
#include <dlfcn.h>
#include <fcntl.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "app.h"
#include "autopilot.h"
#include "conio.h"
#include "eventloop.h"
#include "framewin.h"
#include "msgwin.h"
#include "palette.h"
#include "plscreen.h"
#include "selwin.h"
#include "sigguard.h"

namespace {

int dup_cloexec(int fd)
{
    return fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

// Standard output is duplicated before standard input.
const int tty_out = dup_cloexec(1);

} // namespace

PlScreen screen(dup_cloexec(0), tty_out);

namespace {

// Right after the screen has put the terminal into raw mode.
const bool guarded = (sigguard::install(screen), true);

} // namespace

// A failed contract check prints its report on the operator's console: give
// the terminal its own settings back first, so that the report reads
// properly and the console is usable afterwards. The report itself is the
// C library's.
extern "C" void __assert_fail(const char *expr, const char *file, unsigned int line, const char *function) noexcept
{
    sigguard::emergency_restore();
    using report_fn = void (*)(const char *, const char *, unsigned int, const char *);
    if (auto report = reinterpret_cast<report_fn>(dlsym(RTLD_NEXT, "__assert_fail")))
        report(expr, file, line, function);
    abort();
}

namespace {

const char *const menu_items[] = {
    "Basic Compatibility Test", "Advanced Compatibility Test", "Memory test",
    "Burn-in test",             "Copy results to floppy disk", "Quit",
};
const int quit_index = 5;

const char *const memtest_text =
    "The memory test program cannot start automatically.\n \nYou will need to reboot the server, then choose\n"
    "\"memtest\" from the boot menu in order to perform\nthe test.  If it passes, then reboot once more to\n"
    "come back to this menu and continue with a burn-in\ntest.";

void memtest_notice()
{
    MsgWin notice(memtest_text, "Can't Memory Test");
    notice.show();
    // Any key closes it, as does the end of the program.
    EventLoop loop;
    loop.nextkey();
}

bool confirm_quit()
{
    MsgWin question("Really quit? (y/n)", "Quit");
    autopilot_answer("yes, quit", 'y');
    return question.waitkey("yn\x1b") == 'y';
}

// Lines of at most `width` characters, broken at blanks, each ending in a newline.
std::string wrapped(const std::string &text, size_t width)
{
    std::string out, line;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string word = text.substr(at, end - at);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            out += line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        at = end + 1;
    }
    return out + line + "\n";
}

// The settings of an unattended run, when any is given; settings that are
// wrong are named in a message before anything runs, and the ordinary
// program follows.
std::unique_ptr<Autopilot> start_autopilot()
{
    RackSettings settings = read_rack_settings([](const char *name) { return getenv(name); });
    const bool any = !settings.steps.empty() || settings.burnin_seconds > 0 || !settings.state_file.empty() ||
                     !settings.errors.empty();
    if (!any)
        return nullptr;
    auto pilot = std::make_unique<Autopilot>(settings);
    if (!settings.errors.empty()) {
        std::string text = "The unattended run does not start:\n \n";
        for (const std::string &e : settings.errors)
            text += wrapped(e, 56);
        text += " \n           Press ENTER to continue...";
        MsgWin notice(OxString(text), "Unattended Run");
        notice.waitkey("\r\x1b");
    }
    autopilot = pilot.get();
    EventLoop::setagent(pilot.get());
    return pilot;
}

template <class Fn>
void with_menu_hidden(SelectionWin &menu, Fn fn)
{
    menu.hide();
    fn();
    menu.show();
}

void run_menu()
{
    SelectionWin menu("Main Menu", PlPoint(40, 8), false);
    for (const char *item : menu_items)
        menu.append(item);
    menu.show();

    EventLoop loop;
    if (autopilot)
        autopilot->at_menu();
    for (int key = loop.nextkey(); key != KEY_NONE; key = loop.nextkey()) {
        int index;
        if (key == KEY_ESC) {
            // Escape means Quit, wherever the highlight is; it stays there.
            key = KEY_ENTER;
            index = quit_index;
        } else {
            menu.handle(key);
            index = menu.current();
        }
        if (key != KEY_ENTER || index > quit_index)
            continue;

        switch (index) {
        case 0:
            with_menu_hidden(menu, [] { do_compat("Basic Compatibility Test", ""); });
            break;
        case 1:
            with_menu_hidden(menu, [] { do_compat("Advanced Compatibility Test", "-a"); });
            break;
        case 2:
            memtest_notice();
            break;
        case 3:
            with_menu_hidden(menu, [] { do_burnin(); });
            break;
        case 4:
            with_menu_hidden(menu, [] { do_floppy(); });
            break;
        case quit_index:
            if (confirm_quit())
                return;
            break;
        }
        if (autopilot)
            autopilot->at_menu();
    }
}

} // namespace

int main()
{
    (void)guarded;
    selcolors.fg = COLOR_WHITE;
    selcolors.bg = COLOR_BLUE;
    selcolors.selfg = COLOR_BLACK;
    selcolors.selbg = COLOR_CYAN;

    {
        FrameWin frame(&screen);
        mainframe = &frame;
        frame.settitle("ORVEX Compatibility and Diagnostics");
        frame.setversion(OxString("Version %s", "3.75c #0"));
        frame.sethelp("[ENTER] Select   [ESC] Go Back");
        const std::unique_ptr<Autopilot> pilot = start_autopilot();
        run_menu();   // the menu is destroyed before the frame
        if (pilot)
            pilot->at_exit();
        EventLoop::setagent(nullptr);
        autopilot = nullptr;
        mainframe = nullptr;
    }
    // The screen's own destruction, after main, gives the terminal back.
    return 0;
}
