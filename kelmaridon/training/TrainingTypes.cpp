#include "training/TrainingTypes.h"

#include "recording/KelmaridonStartup.h"
#include "training/TrainingModel.h"

#include <QtQml>

void addTrainingTypes(KelmaridonStartup& startup)
{
    startup.registerTrainingModels = []() {
        qmlRegisterType<TrainingModel>("TrainingModel", 1, 0, "TrainingModel");
    };
}
