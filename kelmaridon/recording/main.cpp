#include "recording/KelmaridonStartup.h"

int main(int argc, char** argv)
{
    KelmaridonStartup startup;
    return startup.run(argc, argv);
}
