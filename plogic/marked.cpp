#include "marked.h"

#include "conio.h"

void cputs_marked(PlAttr normal, PlAttr label, PlAttr alert, const OxFastString &text)
{
    // Both states start off on every print: a marker left open by one text
    // must not colour the next.
    bool inlabel = false, inalert = false;
    textattr(normal.get());
    for (size_t i = 0; i < text.len(); i++) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0x08 || c == 0x07) {
            if (c == 0x08)
                inlabel = !inlabel;
            else
                inalert = !inalert;
            textattr((inalert ? alert : inlabel ? label : normal).get());
            continue;
        }
        putch(c);
    }
}
