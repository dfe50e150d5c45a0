#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes the recording project's dataset list, "metadata.csv" in its folder
// (UTF-8 path): one line "wav/<id>.wav|<text>" a recorded sentence whose take
// is a valid take with samples, in id order. The list is written afresh and
// renamed into place. language gets the espeak-ng language of the
// recording's language. Recorded sentences without a valid take are left out
// and their ids go to leftOut when it is given; when every recorded sentence
// is left out the export fails. On failure the reason goes to error when it
// is given.
bool exportDataset(const std::string& recordingDir, std::string& language, std::string* error = nullptr,
                   std::vector<int64_t>* leftOut = nullptr);

// A sentence as the dataset list holds it: each run of "|", CR and LF becomes
// one space, and what is not UTF-8 becomes U+FFFD.
std::string cleanPromptText(const std::string& text);

// "Left out of the dataset, no valid take: 3, 7" for those ids.
std::string leftOutText(const std::vector<int64_t>& ids);
