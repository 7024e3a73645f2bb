#include "oxstring.h"
