#pragma once

#include "voices/ServerLang.h"
#include "voices/ServerVoice.h"

#include <filesystem>
#include <string>
#include <vector>

class VoiceTask;

// The languages of the voice server's catalogue. A request that lasts too long
// or answers too much fails; task (may be null) can abort it.
bool fetchServerLangs(std::vector<ServerLang>& out, std::string& error, VoiceTask* task = nullptr);
// The voices (speakers) of one language; lang is the language code (UTF-8).
bool fetchServerVoices(const std::string& lang, std::vector<ServerVoice>& out, std::string& error,
                       VoiceTask* task = nullptr);
// Downloads the sample of a speaker into the user's temporary folder (an existing
// one is reused); its path, or an empty path on failure. task may be null.
std::filesystem::path downloadVoiceSample(const std::string& uid, int spk, std::string& error, VoiceTask* task);
// The user's own temporary folder + "quorvine_voice_%s-spk%d.mp3".
std::filesystem::path voiceSamplePath(const std::string& uid, int spk);
