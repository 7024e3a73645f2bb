#include "win.h"
