#pragma once

#include <string>

// Writes the recording project's dataset list, "metadata.csv" in its folder
// (UTF-8 path): one line "wav/<id>.wav|<text>" a recorded sentence, in id
// order. language gets the espeak-ng language of the recording's language.
// On failure the reason goes to error when it is given.
bool exportDataset(const std::string& recordingDir, std::string& language, std::string* error = nullptr);

// A sentence as the dataset list holds it: each run of "|", CR and LF becomes one space.
std::string cleanPromptText(const std::string& text);
