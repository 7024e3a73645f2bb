// Framed window with a centred title, an optional shadow and an opening animation.
#pragma once

#include "oxstring.h"
#include "win.h"

struct PlWinStyle {
    int explode = 1;           // animate the first draw of each framed window
    int s1 = 1, s2 = 1, s3 = 1, s4 = 1;
};
extern PlWinStyle winstyle;

class OvlWin : public PlWin {
public:
    OvlWin(const OxString &title, const PlRect &r, int fgcolor, int bgcolor, int framecolor, bool noshadow);
    OvlWin(const OxString &title, const PlPoint &size, int fgcolor, int bgcolor, int framecolor, bool noshadow);
    ~OvlWin() override;

    void draw() override;
    PlRect framerect() const;

    void setcolor(int c);
    void setbgcolor(int c);
    void setframecolor(int c);
    void setattr(int a);

protected:
    int framecolor;
    int fgcolor;
    int bgcolor;
    bool shadow;
    OxString title;
};
