#include "vtscreen.h"

#include <vterm.h>

#include <stdexcept>

struct VtScreenHooks {
    static int settermprop(VTermProp prop, VTermValue *val, void *user)
    {
        if (prop == VTERM_PROP_CURSORVISIBLE)
            static_cast<VtScreen *>(user)->curvis = val->boolean;
        return 1;
    }
};

namespace {

const VTermScreenCallbacks callbacks = {
    nullptr, nullptr, nullptr, VtScreenHooks::settermprop, nullptr, nullptr, nullptr, nullptr,
};

void append_utf8(std::string &out, uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

int colour_index(const VTermColor &c, bool isfg)
{
    if (isfg ? VTERM_COLOR_IS_DEFAULT_FG(&c) : VTERM_COLOR_IS_DEFAULT_BG(&c))
        return -1;
    if (VTERM_COLOR_IS_INDEXED(&c))
        return c.indexed.idx;
    return -2;    // a direct RGB colour: the program never sends one
}

// The code points the emulator shows for the DEC Special Graphics set
// (0x5F-0x7E), learnt from the emulator itself so that no table can drift.
struct GlyphTable {
    uint32_t cp[128] = {};
    GlyphTable()
    {
        VTerm *vt = vterm_new(1, 40);
        vterm_set_utf8(vt, 1);
        VTermScreen *vs = vterm_obtain_screen(vt);
        vterm_screen_reset(vs, 1);
        std::string in = "\x1b(0";
        for (int c = 0x5F; c <= 0x7E; c++)
            in += char(c);
        vterm_input_write(vt, in.data(), in.size());
        for (int c = 0x5F; c <= 0x7E; c++) {
            VTermScreenCell cell;
            vterm_screen_get_cell(vs, VTermPos{0, c - 0x5F}, &cell);
            cp[c] = cell.chars[0];
        }
        vterm_free(vt);
        // If the emulator ignored the set, glyph tests could never fail.
        for (char c : std::string_view("qxlkmja`"))
            if (cp[int(c)] == uint32_t(c) || cp[int(c)] < 0x80)
                throw std::runtime_error("terminal emulator lacks DEC line drawing");
    }
};

const GlyphTable &glyphs()
{
    static const GlyphTable t;
    return t;
}

} // namespace

VtScreen::VtScreen(int rows, int cols) : nrows(rows), ncols(cols)
{
    vt = vterm_new(rows, cols);
    vterm_set_utf8(vt, 0);    // the program speaks 7-bit text plus SO/SI
    vs = vterm_obtain_screen(vt);
    vterm_screen_set_callbacks(vs, &callbacks, this);
    vterm_screen_reset(vs, 1);
}

VtScreen::~VtScreen()
{
    vterm_free(vt);
}

void VtScreen::resize(int rows, int cols)
{
    nrows = rows;
    ncols = cols;
    vterm_set_size(vt, rows, cols);
    vterm_screen_flush_damage(vs);
}

void VtScreen::feed(std::string_view bytes)
{
    // The emulator is known to crash on megabytes in one write: give it
    // pieces of the size a terminal read would bring.
    for (size_t at = 0; at < bytes.size(); at += 4096) {
        std::string_view piece = bytes.substr(at, 4096);
        vterm_input_write(vt, piece.data(), piece.size());
    }
    vterm_screen_flush_damage(vs);
}

VtCell VtScreen::cell(int x, int y) const
{
    VtCell out;
    VTermScreenCell c;
    if (x < 0 || y < 0 || x >= ncols || y >= nrows || !vterm_screen_get_cell(vs, VTermPos{y, x}, &c)) {
        out.text = " ";
        return out;
    }
    out.cp = c.chars[0];
    if (!out.cp)
        out.text = " ";
    for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && c.chars[i]; i++)
        append_utf8(out.text, c.chars[i]);
    out.fg = colour_index(c.fg, true);
    out.bg = colour_index(c.bg, false);
    out.bold = c.attrs.bold;
    out.blink = c.attrs.blink;
    out.reverse = c.attrs.reverse;
    return out;
}

std::string VtScreen::text(int y) const
{
    std::string s;
    for (int x = 0; x < ncols; x++)
        s += cell(x, y).text;
    return s;
}

std::string VtScreen::plain(int y) const
{
    std::string s;
    for (int x = 0; x < ncols; x++) {
        VtCell c = cell(x, y);
        if (c.cp < 0x80) {
            s += c.text;
            continue;
        }
        switch (glyph(x, y)) {
        case 'l': case 'k': case 'm': case 'j': case 'n': case 't': case 'u': case 'v': case 'w':
            s += '+';
            break;
        case 'q':
            s += '-';
            break;
        case 'x':
            s += '|';
            break;
        case 'a':
            s += '#';
            break;
        case '`':
            s += '*';
            break;
        default:
            s += '?';
        }
    }
    return s;
}

std::vector<std::string> VtScreen::lines() const
{
    std::vector<std::string> v;
    for (int y = 0; y < nrows; y++)
        v.push_back(text(y));
    return v;
}

std::vector<std::string> VtScreen::plain_lines() const
{
    std::vector<std::string> v;
    for (int y = 0; y < nrows; y++)
        v.push_back(plain(y));
    return v;
}

bool VtScreen::find(std::string_view needle, int *px, int *py) const
{
    for (int y = 0; y < nrows; y++) {
        // Search cell by cell so that the column is a cell index, not a byte offset.
        std::vector<std::string> cells;
        for (int x = 0; x < ncols; x++)
            cells.push_back(cell(x, y).text);
        for (int x = 0; x < ncols; x++) {
            std::string run;
            for (int k = x; k < ncols && run.size() < needle.size(); k++)
                run += cells[size_t(k)];
            if (run.compare(0, needle.size(), needle) == 0 && run.size() >= needle.size()) {
                if (px)
                    *px = x;
                if (py)
                    *py = y;
                return true;
            }
        }
    }
    return false;
}

std::string VtScreen::dump() const
{
    std::string s;
    for (int y = 0; y < nrows; y++) {
        s += plain(y);
        s += '\n';
    }
    return s;
}

uint32_t VtScreen::glyph_codepoint(char dec)
{
    unsigned char c = (unsigned char)dec;
    return c >= 0x5F && c <= 0x7E ? glyphs().cp[c] : 0;
}

bool VtScreen::is_glyph(int x, int y, char dec) const
{
    uint32_t want = glyph_codepoint(dec);
    return want && cell(x, y).cp == want;
}

char VtScreen::glyph(int x, int y) const
{
    uint32_t cp = cell(x, y).cp;
    if (cp < 0x80)
        return 0;
    for (int c = 0x5F; c <= 0x7E; c++)
        if (glyphs().cp[c] == cp && cp != uint32_t(c))
            return char(c);
    return 0;
}

int VtScreen::cursor_x() const
{
    VTermPos p;
    vterm_state_get_cursorpos(vterm_obtain_state(vt), &p);
    return p.col;
}

int VtScreen::cursor_y() const
{
    VTermPos p;
    vterm_state_get_cursorpos(vterm_obtain_state(vt), &p);
    return p.row;
}
