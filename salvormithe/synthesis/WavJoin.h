#pragma once

#include <string>
#include <vector>

// Joins speech WAV files (UTF-8 paths) into output: each input's samples from
// byte 44 on, behind one new header. seconds gets the joined length.
bool mergeWavFiles(const std::vector<std::string>& inputs, const std::string& output,
                   double* seconds, std::string* error);
