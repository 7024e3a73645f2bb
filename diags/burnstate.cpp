#include "burnstate.h"
