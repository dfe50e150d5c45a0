#pragma once

#include "common/ProjectSeg.h"
#include "common/ProjectVoice.h"
#include "synthesis/PrintMsg.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

using VoiceLookup = std::function<ProjectVoice(int voiceId)>;

// The project's text as one file; paths are UTF-8. On failure, error holds
// the reason and the result is false. Once *stop is set the writing ends,
// false with error untouched, and the unfinished file is removed.
bool exportText(const std::vector<ProjectSeg>& segs, const VoiceLookup& voiceOf,
                const std::string& path, bool withSpeaker, std::string& error,
                const std::atomic<bool>* stop = nullptr);
bool exportHtml(const std::vector<ProjectSeg>& segs, const VoiceLookup& voiceOf,
                const std::string& path, bool withSpeaker, std::string& error,
                const std::atomic<bool>* stop = nullptr);
bool writeHtml(std::ostream& out, const std::string& title, const std::vector<ProjectSeg>& segs,
               const VoiceLookup& voiceOf, bool withSpeaker, std::string& error,
               const std::atomic<bool>* stop = nullptr);

// Lays the segments out as speech bubbles in a PDF. The painting runs in the
// GUI thread; the calling thread waits for it.
// Once *stop is set the wait ends, false, and the unfinished file is dropped.
bool exportPdf(const std::vector<ProjectSeg>& segs, const VoiceLookup& voiceOf,
               const std::string& path, bool withSpeaker, std::string* error = nullptr,
               const std::atomic<bool>* stop = nullptr);

// In the GUI thread: starts the layout of msgs into a PDF at path and calls
// done (success, error text) from the event loop once the file is complete.
void printMsgsToPdf(const QList<PrintMsg>& msgs, const QString& path, bool withSpeaker,
                    std::function<void(bool ok, const std::string& error)> done,
                    std::function<bool()> cancelled = {});

std::string escapeHtml(const std::string& text);
