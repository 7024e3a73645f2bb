// A centred message dialog sized to its text.
#pragma once

#include "ovlwin.h"

class MsgWin : public OvlWin {
public:
    MsgWin(const OxString &text, const OxString &title);
    ~MsgWin() override;

    void draw() override;
    // Shows the dialog and waits for a key out of `keys` (compared after
    // lower-casing); returns it, or 0 when the terminal failed.
    int waitkey(const OxFastString &keys);

private:
    // The title is the framed window's own: one copy, drawn and kept for the
    // window's life.
    OxString text;
};

int countlines(const OxString &text);
int maxlinelen(const OxString &text);
