#include "ConvertWorker.h"

#include <cstdio>

int convertMain()
{
    std::fputs("Invalid input(1).", stderr);
    return 1;
}
