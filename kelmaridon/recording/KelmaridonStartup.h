#pragma once

#include <functional>

// kelmaridon's start-up. The training side hands in the registration of its
// QML types, which take their places in the fixed order.
class KelmaridonStartup
{
public:
    // Registers HomeModel.
    std::function<void()> registerHomeModel;
    // Registers CreateTrainingModel, TrainingModel and TrainingsModel.
    std::function<void()> registerTrainingModels;

    // MessageBoxContext, HomeModel, RecordingModel, RecordingSettingModel,
    // RecordingDetailModel, CreateTrainingModel, TrainingModel, TrainingsModel.
    void registerTypes() const;
    // The program: returns its exit code.
    int run(int argc, char** argv) const;

    // Untranslated source text of PROD_NAME.
    static const char* prodName();
};
