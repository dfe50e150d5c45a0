#include "app/AppMain.h"

int main(int argc, char** argv)
{
    return salvormitheMain(argc, argv);
}
