#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace testutil {

// Median pitch in Hz of the voiced frames of 16-bit mono audio (YIN over 30 ms
// frames); 0 when nothing is voiced.
double medianPitchHz(const std::vector<int16_t>& samples, int rate);

// The samples and rate of a 16-bit PCM WAV file (first channel); false when it is none.
bool readWav16(const std::filesystem::path& path, std::vector<int16_t>& samples, int& rate);

// A 16-bit mono WAV file of a voice-like tone: harmonics of hz with a syllable
// rhythm, between short silences.
void writeToneWav(const std::filesystem::path& path, double hz, double seconds, int rate);

} // namespace testutil
