#include "plscreen.h"
