#include "ovlwin.h"
