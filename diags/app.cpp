#include "app.h"

FrameWin *mainframe = nullptr;
