#include "conhelpers.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "testterm.h"

void reset_console()
{
    drain_keys();
    screen.getcells().clear();
    abs_gotoxy(1, 1);
    ti = text_info{};
}

text_info textinfo()
{
    text_info t{};
    gettextinfo(&t);
    return t;
}

const PlCell &cellat(int x, int y)
{
    return *screen.cell(x, y);
}

std::string rowtext(int x, int y, int n)
{
    std::string s;
    for (int i = 0; i < n; i++)
        s += char(cellat(x + i, y).ch);
    return s;
}

std::string shown_row(int y)
{
    std::string s;
    for (int x = 0; x < screen.getxsize(); x++) {
        const int ch = cellat(x, y).ch;
        switch (ch) {
        case 0: s += '.'; break;
        case GLYPH_HLINE: s += '-'; break;
        case GLYPH_VLINE: s += '|'; break;
        case GLYPH_ULCORNER: case GLYPH_URCORNER: case GLYPH_LLCORNER: case GLYPH_LRCORNER: s += '+'; break;
        default: s += char(ch);
        }
    }
    return s;
}

void drain_keys()
{
    OxDynBuf junk(1024, 1 << 20);
    while (screen.select(0, true)) {
        junk.clear();
        if (screen.read(junk, 2048) == 0)
            break;
    }
    kbflush();
}

TimedKey timed(int (*reader)())
{
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread guard([&] {
        std::unique_lock<std::mutex> l(m);
        if (!cv.wait_for(l, std::chrono::seconds(2), [&] { return done; }))
            test_pty().write_keys("\x01");
    });
    const auto t0 = std::chrono::steady_clock::now();
    const int key = reader();
    const auto t1 = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> l(m);
        done = true;
    }
    cv.notify_all();
    guard.join();
    return {key, long(std::chrono::duration_cast<std::chrono::milliseconds>(t1 - t0).count())};
}
