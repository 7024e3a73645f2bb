#include "marked.h"

#include <string>
#include <string_view>

#include "conio.h"

void cputs_marked(PlAttr normal, PlAttr label, PlAttr alert, const OxFastString &text)
{
    // Both states start off on every print: a marker left open by one text
    // must not colour the next.
    bool inlabel = false, inalert = false;
    textattr(normal.get());
    for (size_t i = 0; i < text.len(); i++) {
        const char c = text[i];
        if (is_marker(c)) {
            if (c == MARK_LABEL)
                inlabel = !inlabel;
            else
                inalert = !inalert;
            textattr((inalert ? alert : inlabel ? label : normal).get());
            continue;
        }
        putch(static_cast<unsigned char>(c));
    }
}

namespace {

// Whether a run holds an odd number of label and of alert markers: the
// colour switch it leaves behind.
struct Parity {
    bool label, alert;
    Parity operator^(const Parity &o) const { return {label != o.label, alert != o.alert}; }
};

Parity parity(std::string_view s)
{
    unsigned char label = 0, alert = 0;
    for (char c : s) {
        label ^= c == MARK_LABEL;
        alert ^= c == MARK_ALERT;
    }
    return {label != 0, alert != 0};
}

} // namespace

OxString clip_marked(const OxString &text, size_t cells, bool paired)
{
    const std::string_view s = text.view();
    size_t cut = 0;
    for (size_t shown = 0; cut < s.size() && shown < cells; cut++)
        shown += !is_marker(s[cut]);
    size_t last = s.size(); // just past the last character
    while (last > cut && is_marker(s[last - 1]))
        last--;
    if (last <= cut + 1)
        return text; // nothing between the head and the last character
    // The characters between would all have landed on the last column, under
    // the last one; their markers still switch colours.
    const std::string_view head = s.substr(0, cut), tail = s.substr(last - 1);
    const Parity middle = paired ? parity(head) ^ parity(tail) : parity(s.substr(cut, last - 1 - cut));
    std::string out(head);
    if (middle.label)
        out += MARK_LABEL;
    if (middle.alert)
        out += MARK_ALERT;
    out += tail;
    return OxString(std::move(out));
}
