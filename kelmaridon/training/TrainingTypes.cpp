#include "training/TrainingTypes.h"

#include "recording/KelmaridonStartup.h"
#include "training/CreateTrainingModel.h"
#include "training/HomeModel.h"
#include "training/TrainingModel.h"
#include "training/TrainingsModel.h"

#include <QtQml>

void addTrainingTypes(KelmaridonStartup& startup)
{
    startup.registerHomeModel = []() { qmlRegisterType<HomeModel>("HomeModel", 1, 0, "HomeModel"); };
    startup.registerTrainingModels = []() {
        qmlRegisterType<CreateTrainingModel>("CreateTrainingModel", 1, 0, "CreateTrainingModel");
        qmlRegisterType<TrainingModel>("TrainingModel", 1, 0, "TrainingModel");
        qmlRegisterType<TrainingsModel>("TrainingsModel", 1, 0, "TrainingsModel");
    };
}
