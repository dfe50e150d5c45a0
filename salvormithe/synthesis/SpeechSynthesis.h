#pragma once

#include "voices/LocalVoice.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

using SynthesisCallback = std::function<void(bool ok, std::string message, double seconds)>;

// Speaks the sentences with the voice into one speech WAV at path (UTF-8);
// calls callback exactly once before it returns. A failure leaves no file.
void synthesizeToWav(const LocalVoice& voice, float rate, const std::vector<std::string>& sentences,
                     const std::string& path, const SynthesisCallback& callback);

// Loads the voice as a synthesis would, speaking nothing; false with the
// message a synthesis would fail with.
bool loadVoice(const LocalVoice& voice, std::string& message);

// The synthesizer's length scale for a speech rate: 1 gives 1.0, 0.1 gives 1.45,
// 2.0 gives 0.5; none when the rate is not a number.
std::optional<float> lengthScaleForRate(float rate);

// Whether the voice speaks Arabic (its language or its configuration's espeak voice).
bool voiceIsArabic(const LocalVoice& voice);
