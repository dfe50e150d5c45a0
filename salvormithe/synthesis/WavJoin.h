#pragma once

#include <atomic>
#include <string>
#include <vector>

// Joins speech WAV files (UTF-8 paths) into output: each input's samples from
// byte 44 on, behind one new header. seconds gets the joined length.
// Once *stop is set the join ends, false with an empty error, and removes
// its unfinished output.
bool mergeWavFiles(const std::vector<std::string>& inputs, const std::string& output,
                   double* seconds, std::string* error, const std::atomic<bool>* stop = nullptr);
