#include "plscreen.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string_view>

#include "oxsignalpipe.h"
#include "oxwriteall.h"
#include "palette.h"
#include "termseq.h"

namespace {

using namespace termseq;

constexpr char SO = 0x0E;   // shift out: G1 (line drawing) into GL
constexpr char SI = 0x0F;   // shift in: G0 (ASCII) back into GL

// Window sizes past this are taken for a broken query, not a terminal.
constexpr unsigned short MAX_TERM_SIZE = 1000;
constexpr int FALLBACK_COLS = 80, FALLBACK_ROWS = 24;

bool repaint_flag = false;
// Read by the last-ditch restore in a signal handler.
volatile sig_atomic_t autowrap_off = 0;

void put(std::string &out, std::string_view s)
{
    out.append(s.data(), s.size());
}

void put_decimal(std::string &out, unsigned v)
{
    char digits[12];
    int n = 0;
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v);
    while (n)
        out += digits[--n];
}

// CSI row ; col H  -- both 1-based, row first.
void put_gotoxy(std::string &out, int x, int y)
{
    put(out, "\x1b[");
    put_decimal(out, unsigned(y) + 1);
    out += ';';
    put_decimal(out, unsigned(x) + 1);
    out += 'H';
}

// CSI 0 ; 3 fg ; 4 bg [; 5] [; 1] m  -- starts from a reset so nothing lingers;
// 5 for the blink bit, 1 for the bright bit.
void put_setattr(std::string &out, int a)
{
    put(out, "\x1b[0;3");
    out += char('0' + PlScreen::cons_to_ansi(a & 7));
    put(out, ";4");
    out += char('0' + PlScreen::cons_to_ansi((a >> 4) & 7));
    if (a & 0x80)
        put(out, ";5");
    if (a & 0x08)
        put(out, ";1");
    out += 'm';
}

// CSI ? 25 l (hidden, t == 0) | CSI ? 25 h (shown, any other t)
void put_showcursor(std::string &out, int t)
{
    put(out, t == 0 ? CURSOR_HIDE : CURSOR_SHOW);
}

// The byte a cell may put on the wire (bit 7 set: a line-drawing glyph to send
// after SO). Cells come from helper output too, so nothing that the terminal
// would take as a control may pass: C0 and DEL as text, and the glyph cells
// whose low seven bits are C0 or DEL (0x80-0x9F, 0xFF) all go out as blanks.
uint8_t wire_char(uint8_t c)
{
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0xFF)
        return 0x20;
    return c;
}

void set_cloexec(int fd)
{
    if (fd < 0)
        return;
    int flags = fcntl(fd, F_GETFD);
    if (flags >= 0 && !(flags & FD_CLOEXEC))
        fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

int set_tio(int fd, const termios &tio)
{
    int r;
    do
        r = tcsetattr(fd, TCSANOW, &tio);
    while (r < 0 && errno == EINTR);
    return r;
}

} // namespace

PlScreen::PlScreen(int infd, int outfd) : ttyin(nullptr), ttyout(nullptr)
{
    // The helpers we start must not inherit the terminal through these.
    set_cloexec(infd);
    set_cloexec(outfd);
    ttyin = ttyout = new OxFDStream(infd, outfd);
    init();
}

PlScreen::PlScreen(OxStream *in, OxStream *out) : ttyin(in), ttyout(out)
{
    assert(ttyin);
    assert(ttyout);
    init();
}

void PlScreen::init()
{
    setclone(ttyin);
    cursortype = 1;
    lastx = lasty = -1;
    cursorx = cursory = 0;
    cells = nullptr;
    resize();

    int fd = getfd();
    if (fd < 0)
        return;
    int r;
    do
        r = tcgetattr(fd, &savedtio);
    while (r < 0 && errno == EINTR);
    // Only settings we actually read are ever put back; a descriptor that is
    // no terminal is left alone.
    havetio = r == 0;
    if (!havetio)
        return;
    termios raw = savedtio;
    cfmakeraw(&raw);
    set_tio(fd, raw);
}

void PlScreen::resize()
{
    delete cells;
    delete oldcells;
    cells = oldcells = nullptr;

    int width = FALLBACK_COLS, height = FALLBACK_ROWS;
    int fd = getfd();
    if (fd >= 0) {
        winsize ws{};
        int r;
        do
            r = ioctl(fd, TIOCGWINSZ, &ws);
        while (r < 0 && errno == EINTR);
        if (r == 0 && ws.ws_col && ws.ws_row && ws.ws_col <= MAX_TERM_SIZE && ws.ws_row <= MAX_TERM_SIZE) {
            width = ws.ws_col;
            height = ws.ws_row;
        }
    }
    cells = new PlCells(unsigned(width), unsigned(height));
    cells->clear();
    oldcells = new PlCells(unsigned(width), unsigned(height));
    oldcells->clear();
    needclear = true;
}

PlScreen::~PlScreen()
{
    refresh(false);
    if (wrapoff) {
        ttyout->write(AUTOWRAP_ON.data(), AUTOWRAP_ON.size());
        autowrap_off = 0;
    }
    _setattr(ATTR_DEFAULT.get());
    _showcursor(1);
    _gotoxy(1, getysize());
    // The parking sequences leave under the raw settings; the newline after the
    // restore gets the terminal's own output processing.
    ttyout->flush();
    int fd = getfd();
    if (fd >= 0 && havetio)
        set_tio(fd, savedtio);
    ttyout->write(NEWLINE.data(), NEWLINE.size());
    ttyout->flush();
    ttyout->delay_output(false);
    if (fd >= 0)
        ox_drain_output(fd, restore_drain_ms);

    setclone(nullptr);
    if (ttyout != ttyin)
        delete ttyout;
    delete ttyin;
    delete cells;
    delete oldcells;
}

bool PlScreen::isok() const
{
    return !OxSignalPipe::quitting() && OxStreamClone::isok();
}

bool PlScreen::isreadable()
{
    return decoder.key_ready() || OxStreamClone::isreadable();
}

bool PlScreen::select(int ms, bool readable, bool writable, bool exception)
{
    return (readable && decoder.key_ready()) || OxStreamClone::select(ms, readable, writable, exception);
}

bool PlScreen::ready_now() const
{
    return decoder.key_ready() || OxStreamClone::ready_now();
}

void PlScreen::request_quit()
{
    OxSignalPipe::post(OxSignalPipe::QUIT);
    OxSignalPipe::take();
}

bool PlScreen::quit_requested()
{
    return OxSignalPipe::quitting();
}

void PlScreen::request_repaint()
{
    repaint_flag = true;
}

bool PlScreen::autowrap_is_off()
{
    return autowrap_off != 0;
}

PlCell *PlScreen::cell(int x, int y)
{
    assert(x >= 0 && y >= 0);
    return cells->cell(unsigned(x), unsigned(y));
}

void PlScreen::gotoxy(int x, int y)
{
    assert(x >= 0 && y >= 0);
    assert(x < getxsize() && y < getysize());
    cursorx = x;
    cursory = y;
}

int PlScreen::getfd() const
{
    int fd = ttyin->getrfd();
    return fd >= 0 ? fd : ttyout->getwfd();
}

int PlScreen::cons_to_ansi(int c)
{
    // Console colour numbers to ANSI colour digits.
    static const int ansi[8] = {0, 4, 2, 1, 6, 5, 3, 7};
    return ansi[c & 7];
}

// CSI 2 J
void PlScreen::_clear()
{
    ttyout->write(CLEAR.data(), CLEAR.size());
}

// CSI row ; col H  (1-based; no upper bound: the parking spot lies below the screen)
void PlScreen::_gotoxy(int x, int y)
{
    assert(x >= 0 && y >= 0);
    std::string s;
    put_gotoxy(s, x, y);
    ttyout->write(s.data(), s.size());
}

// CSI 0 ; 3 fg ; 4 bg [; 5] [; 1] m
void PlScreen::_setattr(int a)
{
    std::string s;
    put_setattr(s, a);
    ttyout->write(s.data(), s.size());
}

// CSI ? 25 l | CSI ? 25 h
void PlScreen::_showcursor(int t)
{
    std::string s;
    put_showcursor(s, t);
    ttyout->write(s.data(), s.size());
}

void PlScreen::refresh(bool full)
{
    ttyout->delay_output(true);
    if (repaint_flag) {
        repaint_flag = false;
        // Set before the bytes go out: a signal handler restoring the
        // terminal from here on must switch autowrap back on.
        wrapoff = true;
        autowrap_off = 1;
        ttyout->write(REPAINT.data(), REPAINT.size());
        full = true;
    }
    if (full || needclear) {
        _clear();
        oldcells->clear();
        needclear = false;
    }
    if (*cells == *oldcells) {
        if (lastx != cursorx || lasty != cursory) {
            _gotoxy(cursorx, cursory);
            lastx = cursorx;
            lasty = cursory;
        }
        ttyout->flush();
        return;
    }

    std::string &out = outbuf;
    out.clear();
    put_setattr(out, 0);
    put(out, DRAW_START);
    put_showcursor(out, 0);

    const unsigned w = cells->getxsize(), h = cells->getysize();
    int attr = 0;
    unsigned cx = ~0u, cy = ~0u;    // where the terminal cursor is; unknown at first
    bool shifted = false;
    for (unsigned y = 0; y < h; y++) {
        const PlCell *n = cells->row(y);
        const PlCell *o = oldcells->row(y);
        if (memcmp(n, o, w * sizeof(PlCell)) == 0)
            continue;
        for (unsigned x = 0; x < w; x++) {
            if (n[x].ch == o[x].ch && n[x].attr == o[x].attr)
                continue;
            // Never rely on the terminal's wrap: a run ends with its row.
            if (cx != x || cy != y)
                put_gotoxy(out, int(x), int(y));
            if (n[x].attr != attr) {
                attr = n[x].attr;
                put_setattr(out, attr);
            }
            uint8_t c = wire_char(n[x].ch);
            bool glyph = c & 0x80;
            if (glyph != shifted) {
                shifted = glyph;
                out += glyph ? SO : SI;
            }
            out += char(c & 0x7F);
            cx = x + 1;
            cy = y;
        }
    }

    lastx = cursorx;
    lasty = cursory;
    put_gotoxy(out, cursorx, cursory);
    put_showcursor(out, cursortype);
    put(out, DRAW_END);
    ttyout->write(out.data(), out.size());
    ttyout->flush();
    oldcells->copyblock(0, 0, w - 1, h - 1, *cells, 0, 0);
}

void PlScreen::reraw()
{
    int fd = getfd();
    if (fd >= 0 && havetio) {
        termios raw = savedtio;
        cfmakeraw(&raw);
        set_tio(fd, raw);
    }
    needclear = true;
}

void PlScreen::discard_input()
{
    int fd = getfd();
    if (fd >= 0) {
        int r;
        do
            r = tcflush(fd, TCIFLUSH);
        while (r < 0 && errno == EINTR);
    }
    // What the stream has already read ahead is dropped too. Bounded, so
    // a terminal that keeps typing cannot hold us here.
    OxDynBuf junk(2048, 2048);
    for (int i = 0; i < 64 && ttyin->isreadable(); i++) {
        junk.clear();
        if (ttyin->read(junk, 2048) == 0)
            break;
    }
}
