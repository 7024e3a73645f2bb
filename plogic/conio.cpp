#include "conio.h"
