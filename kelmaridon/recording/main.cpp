#include "recording/KelmaridonStartup.h"
#include "training/TrainingTypes.h"

int main(int argc, char** argv)
{
    KelmaridonStartup startup;
    startup.registerTrainingModels = registerTrainingModels;
    return startup.run(argc, argv);
}
