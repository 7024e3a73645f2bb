#include "marked.h"
