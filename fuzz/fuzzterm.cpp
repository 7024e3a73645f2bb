#include "fuzzterm.h"

#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <new>

#include "conio.h"
#include "plscreen.h"

namespace {

// A pseudo-terminal only for its window size; nothing goes through it.
int size_master = -1, size_slave = -1;
FuzzTerm *current = nullptr;
int curcols = 0, currows = 0;

int sizefd()
{
    if (size_slave < 0 && openpty(&size_master, &size_slave, nullptr, nullptr, nullptr) != 0)
        abort();
    return size_slave;
}

} // namespace

FuzzTerm *first_term()
{
    current = new FuzzTerm(-1);
    return current;
}

// Built first over a terminal of the fallback size; replaced per input.
PlScreen screen(first_term(), current);

size_t FuzzTerm::read(OxDynBuf &buf, size_t max)
{
    if (chunks.empty())
        return 0;
    std::string &c = chunks.front();
    size_t k = c.size();
    if (k > max)
        k = max;
    k = buf.append(c.data(), k);
    c.erase(0, k);
    if (c.empty())
        chunks.pop_front();
    return k;
}

FuzzTerm &fuzz_screen(int cols, int rows, bool fresh)
{
    if (fresh || cols != curcols || rows != currows) {
        winsize ws{};
        ws.ws_col = (unsigned short)cols;
        ws.ws_row = (unsigned short)rows;
        int fd = sizefd();
        if (ioctl(size_master, TIOCSWINSZ, &ws) != 0)
            abort();
        screen.~PlScreen();
        current = new FuzzTerm(fd);
        new (&screen) PlScreen(current, current);
        curcols = cols;
        currows = rows;
        if (screen.getxsize() != cols || screen.getysize() != rows)
            abort();
    }
    ti = text_info{};
    window(1, 1, cols, rows);
    textattr(0x07);
    return *current;
}

FuzzTerm &fuzz_screen_pick(uint8_t choice, bool fresh)
{
    return choice & 1 ? fuzz_screen(20, 8, fresh) : fuzz_screen(80, 25, fresh);
}
