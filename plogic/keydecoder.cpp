#include "keydecoder.h"

#include <algorithm>
#include <cctype>

#include "conio.h"

bool KeyDecoder::lone_esc()
{
    if (buf.count() != 1)
        return false;
    const char c = *buf.take(1);
    buf.putback(1);
    return c == 0x1b;
}

int KeyDecoder::next()
{
    partial = false;
    const size_t n = buf.count();
    if (n == 0)
        return KEY_NONE;
    const auto *p = reinterpret_cast<const unsigned char *>(buf.take(n));
    if (n == 1)
        return p[0];
    if (p[0] != 0x1b || (p[1] != '[' && p[1] != 'O')) {
        // Typed-ahead keys leave one per call, oldest first.
        buf.putback(n - 1);
        return p[0];
    }

    const size_t limit = std::min(n, max_sequence);
    size_t i = 2;
    int number = 0;
    while (i < limit && isdigit(p[i])) {
        number = std::min(number * 10 + (p[i] - '0'), max_number);
        ++i;
    }
    if (i == limit) {
        if (limit == max_sequence) {
            // No terminal sends this; drop it rather than wait for ever.
            buf.putback(n - limit);
            return KEY_NONE;
        }
        // The rest is still on its way: decode the whole sequence again
        // from its ESC once more bytes are in.
        buf.putback(n);
        partial = true;
        return KEY_NONE;
    }
    const char final = char(p[i]);
    buf.putback(n - i - 1);
    return code_for(final, number);
}

int KeyDecoder::code_for(char final, int number)
{
    switch (final) {
    case 'A': return KEY_UP;
    case 'B': return KEY_DOWN;
    case 'C': return KEY_RIGHT;
    case 'D': return KEY_LEFT;
    case '~':
    case '^':
        switch (number) {
        case 1:
        case 7: return KEY_HOME;
        case 2: return KEY_INSERT;
        case 3: return KEY_DELETE;
        case 4:
        case 8: return KEY_END;
        case 5: return final == '^' ? KEY_CTRL_PGUP : KEY_PGUP;
        case 6: return final == '^' ? KEY_CTRL_PGDN : KEY_PGDN;
        default: return KEY_NONE;
        }
    default:
        return KEY_NONE;
    }
}

void KeyDecoder::drop_incomplete()
{
    if (partial)
        buf.clear();
    partial = false;
}

void KeyDecoder::clear()
{
    buf.clear();
    partial = false;
}
