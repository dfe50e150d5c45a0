#include "recording/KelmaridonStartup.h"
#include "training/TrainingTypes.h"

int main(int argc, char** argv)
{
    KelmaridonStartup startup;
    addTrainingTypes(startup);
    return startup.run(argc, argv);
}
