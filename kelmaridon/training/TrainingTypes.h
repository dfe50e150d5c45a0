#pragma once

class KelmaridonStartup;

// Hands the training side's QML types to the start-up: HomeModel, then
// CreateTrainingModel, TrainingModel and TrainingsModel.
void addTrainingTypes(KelmaridonStartup& startup);
