#include "plcells.h"
