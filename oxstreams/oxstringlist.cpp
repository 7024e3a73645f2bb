#include "oxstringlist.h"
