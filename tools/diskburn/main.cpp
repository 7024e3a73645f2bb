// diskburn: the program.  Tests link the same run with their fault hooks
// swapped in (see pass.h).

#include "diskburn.h"
#include "toolframe/run.h"

int main(int argc, char** argv) { return toolframe::helper_main(argc, argv, diskburn::run); }
