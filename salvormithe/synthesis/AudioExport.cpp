#include "synthesis/AudioExport.h"

#include "common/FileUtils.h"
#include "common/TextUtils.h"
#include "synthesis/FfmpegRun.h"

#include <system_error>

namespace fs = std::filesystem;

bool convertAudioFile(const std::string& audioExt, ExportStatus& status, const fs::path& source,
                      const fs::path& target)
{
    if (audioExt == ".wav") {
        std::error_code ec;
        fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            status.ok = false;
            status.error = ec.message();
            return false;
        }
        return true;
    }

    const std::string src = pathToUtf8(source), dst = pathToUtf8(target);
    std::string log;
    int code = runFfmpeg({"-vn", "-i", src.c_str(), "-ac", "2", "-ar", "22050", "-y", dst.c_str()},
                         &log);
    if (code == 0)
        return true;
    status.ok = false;
    status.error = log.size() > 100 ? log.substr(log.size() - 100) : log;
    return false;
}

void exportAudioAndText(const ExportSources& sources, const std::vector<ProjectSeg>& segs,
                        const VoiceLookup& voiceOf, const std::string& targetDir,
                        const std::string& audioExt, bool merge, bool withText,
                        const std::string& textExt, bool withSpeaker, ExportStatus& status)
{
    status.stop = false;
    status.ok = true;
    status.error.clear();
    if (segs.empty())
        return;

    const fs::path dir = utf8ToPath(targetDir);
    if (!merge || segs.size() == 1) {
        for (const ProjectSeg& seg : segs) {
            if (status.stop)
                return;
            // A blank segment has nothing to say and no audio of its own.
            if (isBlankText(seg.text))
                continue;
            const fs::path source = sources.segWav(seg.id);
            const fs::path target = dir / formatString("audio%d%s", seg.id, audioExt.c_str());
            if (!convertAudioFile(audioExt, status, source, target))
                return;
        }
    } else {
        if (status.stop)
            return;
        if (!convertAudioFile(audioExt, status, sources.merged, dir / ("audio" + audioExt)))
            return;
    }

    if (!withText || status.stop)
        return;
    const std::string target = pathToUtf8(dir / ("text" + textExt));
    if (textExt == ".html")
        status.ok = exportHtml(segs, voiceOf, target, withSpeaker, status.error);
    else if (textExt == ".pdf")
        // A stop during the layout leaves ok true, like any other stop.
        status.ok = exportPdf(segs, voiceOf, target, withSpeaker, &status.error, &status.stop) ||
                    status.stop;
    else
        status.ok = exportText(segs, voiceOf, target, withSpeaker, status.error);
}
