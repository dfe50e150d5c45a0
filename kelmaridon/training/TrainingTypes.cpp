#include "training/TrainingTypes.h"

#include "training/TrainingModel.h"

#include <QtQml>

void registerTrainingModels()
{
    qmlRegisterType<TrainingModel>("TrainingModel", 1, 0, "TrainingModel");
}
