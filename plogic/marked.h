// Marked-up text: 0x08 toggles the label colour, 0x07 the alert colour.
#pragma once

#include "oxstring.h"
#include "palette.h"
#include "plcells.h"

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
