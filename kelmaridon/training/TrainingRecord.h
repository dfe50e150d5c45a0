#pragma once

#include "recording/PromptLang.h"

#include <cstdint>
#include <string>

struct json_object;

// One training folder with its manifest ("name", "recording", "baseon",
// "bs", "gpu", "lang", "init_epochs", "epochs"; other keys are kept as they
// are). "lang" is the recording's language code, kept so that the training
// knows it once the recording is gone; trainings made before have none.
class TrainingRecord
{
public:
    TrainingRecord() = default;
    ~TrainingRecord();
    // Copies hold a manifest of their own.
    TrainingRecord(const TrainingRecord& other);
    TrainingRecord& operator=(const TrainingRecord& other);

    // Makes the folder (UTF-8 paths) and its first manifest, with the
    // recording's language when the recording has one.
    bool create(const std::string& folder, const std::string& name, const std::string& recording,
                const std::string& baseon);
    // Loads the folder's manifest; "invalid training." when it is no JSON object.
    bool read(const std::string& folder);
    // Writes the manifest back through a temporary file.
    bool save();

    // "%s - %s" of the name and the native name of the recording's language.
    std::string title() const;
    // The training's language: its own "lang", else that of the recording's
    // manifest; all fields empty when neither has one.
    PromptLang recordingLang() const;
    // Writes the recording's language into a manifest that has none yet,
    // leaving the manifest's time as it was; false when the save failed.
    bool keepLang();
    // The manifest file's last change in seconds since 1970; 0 when unknown.
    int64_t modifiedTime() const;

    void setBatchSize(int value);
    void setGpu(int value);
    void setEpochs(int value);
    void setInitEpochs(int value);
    // "init_epochs" is written once the window has judged a preprocessing
    // good; it is taken away before the next one starts, so output found
    // without it (a run cut short by a hard stop) is preprocessed again.
    bool hasInitEpochs() const;
    // Takes "init_epochs" away, and "epochs" with it: without the base's
    // epochs, those reached would all count as trained here.
    void clearEpochs();
    int batchSize() const;
    int gpu() const;
    int epochs() const;
    int initEpochs() const;
    std::string name() const;
    std::string recording() const;
    std::string baseOn() const;
    std::string lang() const;

    std::string dir;
    std::string lastError;
    json_object* manifest = nullptr;

private:
    void setInt(const char* key, int value);
    int intValue(const char* key) const;
    std::string textValue(const char* key) const;
};

// True when some training under the training root has exactly this "name".
bool trainingNameExists(const std::string& name);
