#pragma once

#include "voices/LocalVoice.h"
#include "voices/SpeakerFile.h"
#include "voices/VoiceFolder.h"

#include <filesystem>
#include <string>
#include <vector>

// The store folder: the per-user data folder's "voices", created when missing.
std::filesystem::path voicesDir();

// The installed speaker spk of the voice uid, with every field filled.
bool findInstalledVoice(const std::string& uid, int spk, LocalVoice& out);
// Every installed speaker of every voice, newest installation first.
void listInstalledVoices(std::vector<LocalVoice>& out);
// Appends the installed speakers of one voice folder.
void listVoiceSpeakers(const std::filesystem::path& voiceDir, std::vector<LocalVoice>& out);
// Uninstalls one speaker; the voice folder goes with its last speaker. True when the
// speaker is no longer installed; otherwise error says why (the system's text
// when the system refused).
bool removeVoiceSpeaker(const LocalVoice& voice, std::string* error = nullptr);
