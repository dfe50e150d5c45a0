#pragma once

#include "recording/PromptLang.h"
#include "voices/LocalVoice.h"

#include <filesystem>
#include <string>
#include <vector>

class TrainingRecord;

// The speaker-file quality of a voice trained for this many epochs on top of
// its base checkpoint: -2 up to 500, -1 up to 1000, 1 up to 2000, 2 up to
// 4000, 3 above.
int trainedVoiceQuality(int epochs);

// The speaker file of a trained voice's only speaker: "uid", "spk" 0, "name",
// "quality", "sex" 0, "lang", "eng", "native", in that order.
std::string trainedSpeakerJson(const std::string& uid, const std::string& name, int quality, const PromptLang& lang);

// Where a voice is built before it moves into the voice store whole: a folder
// of the store that holds no model itself, so the store never lists it.
std::filesystem::path voiceBuildRoot();
// Removes whatever an earlier export left in the build folder, except the
// voices an unfinished replace set aside there ("<uid>.old"): each goes back
// into the store when its place there is free, and stays otherwise.
void clearVoiceBuildRoot();

// The installed voices this program made ("custom_" folders) that show name.
std::vector<LocalVoice> trainedVoicesNamed(const std::string& name);
// "name (n)" for the smallest n from 2 that no trained voice shows.
std::string keepBothName(const std::string& name);

// The voice an export makes: the name it shows, its folder in the store, and
// the voices it replaces once it is in.
struct TrainedVoicePlan
{
    std::string name;
    std::string uid;
    std::vector<std::filesystem::path> replaced;
};

// A voice showing name, in the folder "custom_" and the name made safe: with
// replace it takes the place of the trained voices that show the name,
// otherwise the folder is made unique beside them. Empty uid, with error set,
// when the store cannot be examined.
TrainedVoicePlan planTrainedVoice(const std::string& name, bool replace, std::string& error);

// Builds the voice of plan in the build folder: the training's "config.json"
// as "<uid>.onnx.json" and "speakers"/"spk-0.json"; the model file is left to
// the export tool. On failure nothing is left behind and error holds the reason.
bool buildTrainedVoice(const TrainingRecord& record, const TrainedVoicePlan& plan, std::filesystem::path& built,
                       std::string& error);

// Moves a built voice into the store under its uid, in one rename, then
// removes the voices it replaces. On failure the store is as it was.
bool installTrainedVoice(const std::filesystem::path& built, const TrainedVoicePlan& plan, std::string& error);
