// What a person would see: the program's terminal output rendered by a
// terminal emulator (libvterm), with text, glyphs, colours and the cursor.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct VTerm;
struct VTermScreen;

// One rendered cell. Colours are ANSI indexes 0-7 (8-15 for the bright
// palette); -1 means the terminal's default colour.
struct VtCell {
    uint32_t cp = 0;            // first code point; 0 for a never-written cell
    std::string text;           // UTF-8 of the cell, " " for an empty one
    int fg = -1, bg = -1;
    bool bold = false, blink = false, reverse = false;
};

class VtScreen {
public:
    VtScreen(int rows = 25, int cols = 80);
    ~VtScreen();
    VtScreen(const VtScreen &) = delete;
    VtScreen &operator=(const VtScreen &) = delete;

    int rows() const { return nrows; }
    int cols() const { return ncols; }
    // A terminal window made smaller or larger: what it showed stays where
    // it was, cut at the new edges; new cells are blank.
    void resize(int rows, int cols);

    void feed(std::string_view bytes);

    VtCell cell(int x, int y) const;        // x column, y row, 0-based
    // Row y as UTF-8, empty cells as blanks; trailing blanks kept.
    std::string text(int y) const;
    // Row y with line drawing shown as ASCII: corners '+', lines '-' and '|',
    // checkerboard '#', diamond '*', other glyphs '?'. Plain text stays as is.
    std::string plain(int y) const;
    std::vector<std::string> lines() const;         // text() of every row
    std::vector<std::string> plain_lines() const;   // plain() of every row
    // First occurrence of `needle` in the UTF-8 rows: true and its position.
    bool find(std::string_view needle, int *x = nullptr, int *y = nullptr) const;
    std::string dump() const;                        // rows joined by '\n', for failure messages

    // Whether (x, y) shows DEC Special Graphics glyph `dec` ('q' horizontal
    // line, 'x' vertical line, 'l' 'k' 'm' 'j' corners, 'a' checkerboard,
    // '`' diamond, ...). A plain ASCII letter never counts as a glyph.
    bool is_glyph(int x, int y, char dec) const;
    // The DEC glyph at (x, y), or 0 when the cell shows no line-drawing glyph.
    char glyph(int x, int y) const;
    static uint32_t glyph_codepoint(char dec);

    int cursor_x() const;
    int cursor_y() const;
    bool cursor_visible() const { return curvis; }

private:
    friend struct VtScreenHooks;

    VTerm *vt;
    VTermScreen *vs;
    int nrows, ncols;
    bool curvis = true;
};
