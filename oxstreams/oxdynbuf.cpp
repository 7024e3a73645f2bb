#include "oxdynbuf.h"
