// The burn-in helpers' line protocol, the test's state and its status rows.
#pragma once

#include <cstdint>

#include "helperstate.h"
#include "oxstream.h"
#include "oxstring.h"
#include "ovlwin.h"
#include "selwin.h"

// What the helpers' lines said, and whether the verdict is still to come.
struct BurnState {
    bool pending = true;
    bool netbad = false;
    int64_t sent = 0;
    OxString recvtext;
    OxString netmsg;
    OxString diskmsg;
};

// Every message of the test goes to the Details list and to the log file.
class BurnLog {
public:
    BurnLog(SelectionWin &details, OxStream &file, const char *filename = "/tmp/burnin.log");
    void print(const OxString &text);
    template <class First, class... Args>
    void print(const char *format, const First &first, const Args &...rest)
    {
        print(OxString(format, first, rest...));
    }

private:
    SelectionWin &details;
    OxStream &file;
    const char *filename;
    bool reported = false;     // a write failure has been shown once
};

void burn_netline(BurnState &st, BurnLog &log, const OxString &line);
void burn_diskline(BurnState &st, BurnLog &log, const OxString &line);
// The DISK (0) or NETWORK (1) row as plain text, for the live state file.
OxString burn_rowtext(const BurnState &st, const HelperState &net, const HelperState &disk, int row);
// The three status rows, from the lines and from each helper's state.
void burn_drawstatus(const BurnState &st, const HelperState &net, const HelperState &disk, OvlWin &status);
