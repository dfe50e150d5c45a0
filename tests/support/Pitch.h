#pragma once

#include <cstdint>
#include <vector>

namespace testutil {

// Median pitch in Hz of the voiced frames of 16-bit mono audio (YIN over 30 ms
// frames); 0 when nothing is voiced.
double medianPitchHz(const std::vector<int16_t>& samples, int rate);

} // namespace testutil
