#include "framewin.h"
