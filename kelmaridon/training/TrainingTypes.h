#pragma once

// Registers the training pages' models as QML types, each under its own name
// as module, version 1.0, in their fixed order: CreateTrainingModel,
// TrainingModel, TrainingsModel.
void registerTrainingModels();
