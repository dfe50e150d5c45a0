#pragma once

#include <atomic>
#include <filesystem>
#include <string>

// Whether the synthesizer can load speaker spk of the voice in voiceDir: a
// conversion worker ("<program> --convert") is asked to load it and speak
// nothing. False with error set when it cannot, or when the check could not
// run; false with error empty when cancelled was raised meanwhile.
bool checkVoiceLoads(const std::filesystem::path& voiceDir, int spk, std::string& error,
                     const std::atomic<bool>& cancelled);

// Whether speaker spk can be added to the installed voice in voiceDir: its own
// configuration has that speaker and the voice loads with it.
bool checkNewSpeaker(const std::filesystem::path& voiceDir, int spk, std::string& error,
                     const std::atomic<bool>& cancelled);

// The program that checks voices; this program when empty.
void setVoiceCheckProgram(const std::string& path);
