#include "guest.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "medium_util.h"

namespace {

using Clock = std::chrono::steady_clock;

long long ms_left(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : left;
}

int listen_unix(const std::string &path)
{
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (path.size() >= sizeof a.sun_path)
        throw std::runtime_error("socket path too long: " + path);
    std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || listen(fd, 1) != 0)
        throw std::runtime_error("cannot listen on " + path + ": " + std::strerror(errno));
    return fd;
}

// Accepts one connection within the deadline, as long as `alive` holds.
int accept_by(int lfd, Clock::time_point deadline, const std::function<bool()> &alive)
{
    while (alive()) {
        pollfd p{lfd, POLLIN, 0};
        int n = poll(&p, 1, int(std::min<long long>(ms_left(deadline), 200)));
        if (n > 0)
            return accept4(lfd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (ms_left(deadline) == 0)
            break;
    }
    return -1;
}

} // namespace

std::string medium_dir()
{
    const char *d = std::getenv("RUNDIAGS_MEDIUM_DIR");
    return d && *d ? d : RUNDIAGS_MEDIUM_DEFAULT;
}

std::string medium_file(const std::string &name) { return medium_dir() + "/" + name; }

void make_image(const std::string &path, off_t bytes)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ftruncate(fd, bytes) != 0)
        throw std::runtime_error("cannot make " + path + ": " + std::strerror(errno));
    close(fd);
}

std::vector<std::string> server_base()
{
    return {"-M", "q35", "-m", "1024", "-smp", "2", "-nodefaults", "-vga", "std", "-display", "none",
            "-no-reboot"};
}

Guest::Guest(const std::string &workdir, const std::vector<std::string> &args, bool serial_port,
             const std::vector<std::string> &launcher)
    : dir(workdir), has_serial(serial_port)
{
    t0 = Clock::now();
    std::string ssock = dir + "/serial.sock", msock = dir + "/monitor.sock";
    int sl = has_serial ? listen_unix(ssock) : -1, ml = listen_unix(msock);
    std::vector<std::string> argv = launcher;
    argv.insert(argv.end(), {"qemu-system-x86_64", "-chardev", "socket,id=mon0,path=" + msock,
                             "-mon", "chardev=mon0,mode=readline"});
    if (has_serial)
        argv.insert(argv.end(), {"-chardev", "socket,id=ser0,path=" + ssock, "-serial", "chardev:ser0"});
    argv.insert(argv.end(), args.begin(), args.end());
    std::string log = dir + "/qemu.log";
    child = spawn_logged(argv, log);
    auto deadline = Clock::now() + std::chrono::seconds(60);
    auto alive = [this] { return !reap(false); };
    if (has_serial)
        serial = accept_by(sl, deadline, alive);
    if (serial >= 0 || !has_serial)
        monitor = accept_by(ml, deadline, alive);
    if (sl >= 0)
        close(sl);
    close(ml);
    if (!started()) {
        why = "QEMU did not start: " + qemu_messages();
        return;
    }
    std::string banner = command("");
    (void)banner;
}

Guest::~Guest()
{
    if (!done && child > 0) {
        kill(-child, SIGKILL);
        kill(child, SIGKILL);
        reap(true);
    }
    if (serial >= 0)
        close(serial);
    if (monitor >= 0)
        close(monitor);
}

bool Guest::reap(bool block)
{
    if (done || child <= 0)
        return true;
    int st = 0;
    pid_t r = waitpid(child, &st, block ? 0 : WNOHANG);
    if (r == child)
        done = true;
    return done;
}

std::string Guest::qemu_messages() const
{
    std::string m = read_file(dir + "/qemu.log");
    return m.empty() ? "(no messages)" : m;
}

double Guest::seconds() const
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void Guest::send(std::string_view bytes)
{
    while (!bytes.empty() && serial >= 0) {
        ssize_t n = write(serial, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(size_t(n));
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{serial, POLLOUT, 0};
            poll(&p, 1, 1000);
        } else if (n < 0 && errno != EINTR) {
            return;
        }
    }
}

bool Guest::pump(int ms)
{
    if (serial < 0) {
        poll(nullptr, 0, ms);   // nothing to read: just let the time pass
        return false;
    }
    pollfd p{serial, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0)
        return false;
    char buf[8192];
    bool got = false;
    for (;;) {
        ssize_t n = read(serial, buf, sizeof buf);
        if (n <= 0)
            break;
        raw.append(buf, size_t(n));
        screen.feed(std::string_view(buf, size_t(n)));
        got = true;
    }
    return got;
}

bool Guest::wait_until(const std::function<bool()> &pred, int timeout_ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!pred()) {
        long long left = ms_left(deadline);
        if (left == 0)
            return pred();
        pump(int(std::min<long long>(left, 250)));
    }
    return true;
}

bool Guest::wait_text(std::string_view text, int timeout_ms)
{
    return wait_until([&] { return screen.find(text); }, timeout_ms);
}

bool Guest::wait_gone(std::string_view text, int timeout_ms)
{
    return wait_until([&] { return !screen.find(text); }, timeout_ms);
}

void Guest::settle(int quiet_ms, int timeout_ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (ms_left(deadline) > 0 && pump(int(std::min<long long>(ms_left(deadline), quiet_ms)))) {
    }
}

std::string Guest::dump() const
{
    std::string tail = raw.size() > 600 ? raw.substr(raw.size() - 600) : raw;
    std::string shown;
    for (unsigned char c : tail)
        shown += c == '\x1b' ? std::string("^[") : (c < 32 && c != '\n') ? "." : std::string(1, char(c));
    return "screen at " + std::to_string(int(seconds())) + " s:\n" + screen.dump() +
           "\n--- last serial bytes:\n" + shown + "\n--- QEMU:\n" + qemu_messages();
}

std::string Guest::command(const std::string &cmd)
{
    if (monitor < 0)
        return {};
    if (!cmd.empty()) {
        std::string line = cmd + "\n";
        if (write(monitor, line.data(), line.size()) != ssize_t(line.size()))
            return {};
    }
    // The answer ends with the next prompt.
    std::string answer;
    auto deadline = Clock::now() + std::chrono::seconds(30);
    while (ms_left(deadline) > 0) {
        pollfd p{monitor, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0)
            continue;
        char buf[4096];
        ssize_t n = read(monitor, buf, sizeof buf);
        if (n <= 0)
            break;
        answer.append(buf, size_t(n));
        if (answer.size() >= 7 && answer.compare(answer.size() - 7, 7, "(qemu) ") == 0)
            break;
    }
    return answer;
}

bool Guest::wait_exit(int timeout_ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!reap(false)) {
        if (ms_left(deadline) == 0)
            return false;
        pump(100);
    }
    return true;
}
