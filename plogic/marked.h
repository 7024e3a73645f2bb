// Marked-up text: MARK_LABEL (0x08) toggles the label colour, MARK_ALERT
// (0x07) the alert colour; alert wins over label.
#pragma once

#include <cstddef>

#include "oxstring.h"
#include "palette.h"
#include "plcells.h"

inline constexpr char MARK_LABEL = '\x08';
inline constexpr char MARK_ALERT = '\x07';

inline constexpr bool is_marker(char c)
{
    return c == MARK_LABEL || c == MARK_ALERT;
}

// A word between two markers, made at compile time:
// MarkedWord(MARK_ALERT, "FAIL").cstr() is "\x07FAIL\x07".
template <size_t N>
struct MarkedWord {
    char text[N + 2] = {};
    consteval MarkedWord(char mark, const char (&word)[N])
    {
        text[0] = mark;
        for (size_t i = 0; i + 1 < N; i++)
            text[i + 1] = word[i];
        text[N] = mark;
    }
    constexpr const char *cstr() const { return text; }
};

void cputs_marked(PlAttr normal, PlAttr label, PlAttr alert, const OxFastString &text);

template <class... Args>
void cprintf_marked(PlAttr normal, PlAttr label, PlAttr alert, const char *format, const Args &...args)
{
    if constexpr (sizeof...(args) == 0)
        cputs_marked(normal, label, alert, OxString::format(format, nullptr, 0));
    else
        cputs_marked(normal, label, alert, OxString(format, args...));
}

// The same with the three colours of a named pairing.
inline void cputs_marked(const PlMarkColors &c, const OxFastString &text)
{
    cputs_marked(c.normal, c.label, c.alert, text);
}

template <class... Args>
void cprintf_marked(const PlMarkColors &c, const char *format, const Args &...args)
{
    cprintf_marked(c.normal, c.label, c.alert, format, args...);
}

// What the console can show of marked-up text printed on one row with room
// for at most `cells` characters: it writes everything past a row's last
// column into that column, so only the first `cells` characters and the
// very last one can be seen. Gives the text cut to those, with markers that
// keep each of them in its colour and leave the colours after the text as
// the whole text would; printing it shows exactly what printing the whole
// does, without the cost of a text grown to megabytes. Every byte that is
// no marker counts as one character. `paired`: the text holds each marker
// an even number of times, so what the dropped part's markers leave follows
// from the kept ends without reading the rest.
OxString clip_marked(const OxString &text, size_t cells, bool paired = false);
