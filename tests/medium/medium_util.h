// Steps an operator takes on the medium's console, and what the host reads
// back from the emulated server's disks and floppy afterwards.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

class Guest;

// Highlights main-menu item `index` (0 = Basic Compatibility Test ...
// 5 = Quit) from the top and presses Enter.
void choose(Guest &g, int index);
// Enter in a finished test: back to the main menu (a failed wait shows in
// the next test's first step).
void leave_to_menu(Guest &g);

struct Summary {
    bool finished = false;
    std::string text;   // the rows of the test window, one per line
};
// Runs the basic (0) or advanced (1) compatibility test to its end.
Summary run_compat(Guest &g, int index);

// Quit, 'y', and the shell's prompt: "" once there, else what did not come.
std::string quit_to_shell(Guest &g);
// In the shell: what the shell expression `expr` (e.g. "$TERM" or
// "$(cat /etc/hostname)") stands for, on one line.
std::string shell_value(Guest &g, const std::string &expr);

// Through both danger warnings and the cabling question: true once running.
bool start_burnin(Guest &g);
// Enter, then 'y' to the stop question.
void ask_stop(Guest &g);
// The same once the disk pass is under way (or after 20 s).
void stop_burnin(Guest &g);
// The "Loop:" number on the DISK row; 0 when not shown.
int disk_loop(Guest &g);
// A finished test's whole Details list, whose items show on screen rows
// top..bottom, read a page at a time from its top as the operator scrolls
// it: Home, then Page Down.
std::vector<std::string> details_rows(Guest &g, int top, int bottom);

// Empty when every 512-byte sector of the image carries diskburn's stamp
// of its own offset and at most two passes' seeds are found (a stopped pass
// leaves part of the previous one); else what is wrong.
std::string pattern_problem(const std::string &image);
// What a shell command on the host writes to its standard output.
std::string host_output(const std::string &cmd);
// Starts argv (looked up on PATH) in its own process group, with no input
// and its output and errors going to `log` (truncated, or appended to);
// the process id, or -1.
pid_t spawn_logged(const std::vector<std::string> &argv, const std::string &log, bool append = false);
// SHA-256 of a file, as sha256sum prints it.
std::string checksum(const std::string &path);

// The floppy image as the host's mtools read it.
std::string floppy_list(const std::string &image);
std::string floppy_file(const std::string &image, const std::string &name);

std::size_t count_of(const std::string &text, const std::string &what);
std::string upper(std::string s);
