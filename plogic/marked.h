// Marked-up text: 0x08 toggles the label colour, 0x07 the alert colour.
#pragma once

#include "oxstring.h"
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
