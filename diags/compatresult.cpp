#include "compatresult.h"
