// The main menu's "Copy results to floppy disk": warn, run makefloppy, report.
#include "app.h"
#include "autopilot.h"
#include "conio.h"
#include "eventloop.h"
#include "msgwin.h"
#include "plscreen.h"
#include "shellcmd.h"

namespace {

const char *const warning_text =
    "Please insert a floppy disk into the drive.\n \nTHE CONTENTS OF THE FLOPPY WILL BE ERASED!\n \n"
    "         Press ENTER to continue...";

int copy_to_floppy()
{
    MsgWin notice("Copying data to the floppy.", "Please Wait");
    notice.show();
    screen.refresh();   // the notice must be on the terminal before the wait
    return run_shell("makefloppy >/dev/null 2>/dev/null");
}

} // namespace

void do_floppy()
{
    if (autopilot)
        autopilot->state().step = "copy";
    {
        MsgWin warning(warning_text, "Insert Floppy Disk");
        autopilot_answer("copy the results", KEY_ENTER);
        if (warning.waitkey("\r\x1b") != KEY_ENTER)
            return;
    }

    const int result = copy_to_floppy();

    // The command may have left the terminal in another mode, and whatever
    // was typed while it ran was typed at a "Please Wait" notice: it must not
    // answer a dialog the operator has not seen yet.
    screen.reraw();
    screen.discard_input();
    kbflush();
    if (EventLoop::quitting())
        return;
    if (autopilot)
        autopilot->state().message = result == 0 ? "copied" : "copy failed";
    autopilot_answer("close the copy's result", KEY_ENTER, true);

    if (result == 0) {
        MsgWin done("Successfully copied the data to the floppy disk.", "Success!");
        done.waitkey("\x1b\rq");
    } else {
        MsgWin error(OxString("Error #%s copying the data to the floppy disk!", shell_error_number(result)),
                     "ERROR");
        error.waitkey("\x1b\rq");
    }
}
