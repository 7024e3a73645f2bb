#include "oxstream.h"
