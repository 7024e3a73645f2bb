// An emulated server booted from the medium under QEMU (TCG): its first
// serial port comes to a socket this process owns and is rendered through a
// terminal emulator, so a test reads what an operator on ttyS0 would see and
// types as they would. The QEMU monitor comes to a second socket.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "files.h"
#include "vtscreen.h"

// The medium under test: build-medium/ unless RUNDIAGS_MEDIUM_DIR says where.
std::string medium_dir();
std::string medium_file(const std::string &name);

class Guest {
public:
    // Starts qemu-system-x86_64 with `args` plus the serial console (unless
    // the server is to have no serial port) and the monitor; `workdir`
    // holds the sockets and QEMU's own messages. `launcher` comes before
    // QEMU's name (ip netns exec NS: QEMU in a network namespace).
    Guest(const std::string &workdir, const std::vector<std::string> &args, bool serial_port = true,
          const std::vector<std::string> &launcher = {});
    ~Guest();
    Guest(const Guest &) = delete;
    Guest &operator=(const Guest &) = delete;

    // Whether QEMU came up and connected both sockets; why not otherwise.
    bool started() const { return (serial >= 0 || !has_serial) && monitor >= 0; }
    const std::string &failure() const { return why; }

    // Typing on the serial line.
    void send(std::string_view bytes);
    // Reads the serial line until pred() holds or `timeout_ms` passed.
    bool wait_until(const std::function<bool()> &pred, int timeout_ms);
    bool wait_text(std::string_view text, int timeout_ms);
    bool wait_gone(std::string_view text, int timeout_ms);
    // Reads until the line has been quiet for quiet_ms (at most timeout_ms).
    void settle(int quiet_ms, int timeout_ms);

    VtScreen &vt() { return screen; }
    bool has_text(std::string_view text) const { return screen.find(text); }
    std::string row(int y) const { return screen.plain(y); }
    // The screen, the tail of the raw serial output and QEMU's messages.
    std::string dump() const;
    const std::string &serial_output() const { return raw; }

    // One human monitor command; its answer.
    std::string command(const std::string &cmd);

    // Waits for QEMU to end (the guest powered off). True when it did.
    bool wait_exit(int timeout_ms);
    bool exited() const { return done; }
    double seconds() const;

private:
    bool pump(int ms);
    bool reap(bool block);
    std::string qemu_messages() const;

    std::string dir;
    pid_t child = -1;
    bool done = false;
    bool has_serial;
    int serial = -1, monitor = -1;
    std::string raw, why;
    VtScreen screen{25, 80};
    std::chrono::steady_clock::time_point t0;
};

// Arguments of a small emulated server of the q35 kind: 1 GiB, two CPUs,
// a VGA card, no default devices.
std::vector<std::string> server_base();
// A raw disk image file of `mib` MiB (sparse, zero).
void make_image(const std::string &path, off_t bytes);
