// The fixed control sequences the program sends its terminal, named once:
// the screen's refresh and restore and the signal guard's last-ditch restore
// must agree byte for byte.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string_view>

namespace termseq {

inline constexpr std::string_view CLEAR = "\x1b[2J";             // CSI 2 J: erase the whole display
inline constexpr std::string_view CURSOR_HIDE = "\x1b[?25l";     // CSI ? 25 l
inline constexpr std::string_view CURSOR_SHOW = "\x1b[?25h";     // CSI ? 25 h
inline constexpr std::string_view DRAW_START = "\x0f\x1b)0";      // SI, ESC ) 0: G1 := DEC Special Graphics
inline constexpr std::string_view DRAW_END = "\x0f\x1b)B\x1b(B";  // SI, ESC ) B, ESC ( B: G1, G0 := US ASCII
inline constexpr std::string_view GREY_ON_BLACK = "\x1b[0;37;40m"; // grey on black, as the console starts
inline constexpr std::string_view AUTOWRAP_ON = "\x1b[?7h";      // CSI ? 7 h
// Before a repaint on demand: autowrap off (CSI ? 7 l), G0 := US ASCII and the
// attribute reset, so that the clear that follows leaves a blank terminal
// whatever stray bytes did to it.
inline constexpr std::string_view REPAINT = "\x1b[?7l\x1b(B\x1b[0m";
inline constexpr std::string_view NEWLINE = "\n";

// The pieces one after the other, as one constant.
template <size_t N>
struct Joined {
    std::array<char, N> bytes{};
    constexpr std::string_view view() const { return {bytes.data(), N}; }
};
template <size_t N>
constexpr Joined<N> join(std::initializer_list<std::string_view> parts)
{
    Joined<N> j;
    size_t n = 0;
    for (std::string_view p : parts)
        for (char c : p)
            j.bytes[n++] = c;
    return j;
}

// What the signal guard writes when the screen cannot restore the terminal
// itself: line drawing off, the default attribute, the cursor shown, and a
// fresh line.
inline constexpr std::string_view FRESH_LINE = "\r\n";
inline constexpr auto EMERGENCY_RESTORE = join<DRAW_END.size() + GREY_ON_BLACK.size() + CURSOR_SHOW.size() + 2>(
    {DRAW_END, GREY_ON_BLACK, CURSOR_SHOW, FRESH_LINE});

} // namespace termseq
