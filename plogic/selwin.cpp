#include "selwin.h"
