#pragma once

#include "common/ProjectSeg.h"
#include "synthesis/ExportSources.h"
#include "synthesis/ExportStatus.h"
#include "synthesis/TextExport.h"

#include <filesystem>
#include <string>
#include <vector>

// Writes the segments' audio ("audio%d%s" each, or "audio%s" joined) and,
// when asked, their text ("text%s") into targetDir. Strings are UTF-8; the
// outcome is in status. Once status.stop is set (before or during the job)
// the job ends within a fraction of a second, wherever it is: the file it was
// writing is removed, the files it finished stay, and status.cancelled is set.
// The job never clears stop: an owner that reuses the status clears it.
void exportAudioAndText(const ExportSources& sources, const std::vector<ProjectSeg>& segs,
                        const VoiceLookup& voiceOf, const std::string& targetDir,
                        const std::string& audioExt, bool merge, bool withText,
                        const std::string& textExt, bool withSpeaker, ExportStatus& status);

// Copies a WAV (audioExt ".wav") or converts it with FFmpeg to the format of
// the target's extension; a failure goes into status. A stop ends it, false,
// without the target and with status.cancelled set.
bool convertAudioFile(const std::string& audioExt, ExportStatus& status,
                      const std::filesystem::path& source, const std::filesystem::path& target);
