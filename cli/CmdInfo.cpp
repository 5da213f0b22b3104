#include "cli/Commands.h"
int RunInfo(int, char**) { return 2; }
