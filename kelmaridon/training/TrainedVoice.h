#pragma once

#include "recording/PromptLang.h"

#include <filesystem>
#include <string>

class TrainingRecord;

// The speaker-file quality of a voice trained for this many epochs on top of
// its base checkpoint: -2 up to 500, -1 up to 1000, 1 up to 2000, 2 up to
// 4000, 3 above.
int trainedVoiceQuality(int epochs);

// The speaker file of a trained voice's only speaker: "uid", "spk" 0, "name",
// "quality", "sex" 0, "lang", "eng", "native", in that order.
std::string trainedSpeakerJson(const std::string& uid, const std::string& name, int quality, const PromptLang& lang);

// A new folder in the voice store for the training's voice: "custom_" and the
// voice's name, made safe and unique, holding the training's "config.json" as
// "<uid>.onnx.json" and "speakers"/"spk-0.json". The model file is left to the
// export tool. On failure nothing is left behind and error holds the reason.
bool createTrainedVoiceFolder(const TrainingRecord& record, std::filesystem::path& voiceDir, std::string& uid,
                              std::string& error);
