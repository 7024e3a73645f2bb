#include "msgwin.h"
