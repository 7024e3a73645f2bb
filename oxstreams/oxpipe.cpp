#include "oxpipe.h"
