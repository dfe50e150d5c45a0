#pragma once

#include "synthesis/TextExport.h"

#include <atomic>
#include <string>
#include <vector>

// The project's text as a Word document (a WordprocessingML package): one
// paragraph a segment, the speaker's name on its first line when asked. The
// path is UTF-8. On failure, error holds the reason and the result is false;
// once *stop is set the writing ends, false with error untouched, and no file
// is left.
bool exportDocx(const std::vector<ProjectSeg>& segs, const VoiceLookup& voiceOf,
                const std::string& path, bool withSpeaker, std::string& error,
                const std::atomic<bool>* stop = nullptr);

// The package's main part, "word/document.xml".
std::string docxDocumentXml(const std::vector<ProjectSeg>& segs, const VoiceLookup& voiceOf,
                            bool withSpeaker, const std::atomic<bool>* stop = nullptr);

// UTF-8 text as XML character data: cleaned as every text export is
// (cleanUtf8Text), the markup characters escaped, and U+FFFE and U+FFFF,
// which XML 1.0 does not allow, left out.
std::string escapeXmlText(const std::string& text);
