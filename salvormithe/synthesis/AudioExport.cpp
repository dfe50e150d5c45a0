#include "synthesis/AudioExport.h"

#include "common/FileUtils.h"
#include "common/TextUtils.h"
#include "synthesis/FfmpegRun.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::string lastBytes(const std::string& text, size_t n)
{
    return text.size() > n ? text.substr(text.size() - n) : text;
}

// What stands at a path: enough to tell whether a run has written it.
struct FileStamp
{
    bool regular = false;
    off_t size = 0;
    struct timespec mtime {};

    static FileStamp of(const fs::path& p)
    {
        FileStamp s;
        struct stat st;
        if (::lstat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            s.regular = true;
            s.size = st.st_size;
            s.mtime = st.st_mtim;
        }
        return s;
    }
    bool nonEmpty() const { return regular && size > 0; }
    bool operator!=(const FileStamp& o) const
    {
        return regular != o.regular || size != o.size || mtime.tv_sec != o.mtime.tv_sec ||
               mtime.tv_nsec != o.mtime.tv_nsec;
    }
};

} // namespace

bool convertAudioFile(const std::string& audioExt, ExportStatus& status, const fs::path& source,
                      const fs::path& target)
{
    const FileStamp before = FileStamp::of(target);
    std::string failure;
    if (audioExt == ".wav") {
        std::error_code ec;
        errno = 0;
        fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
        // errno keeps the reason (a full disk) where ec says only "I/O error".
        if (ec)
            failure = errno ? std::strerror(errno) : ec.message();
    } else {
        const std::string src = pathToUtf8(source), dst = pathToUtf8(target);
        std::string log;
        int code = runFfmpeg({"-vn", "-i", src.c_str(), "-ac", "2", "-ar", "22050", "-y", dst.c_str()},
                             &log);
        // An exit code of 0 is not enough: a full disk can cut the file short
        // or leave it empty with only an error line in the log.
        if (code != 0)
            failure = lastBytes(log, 100);
        else if (!ffmpegRunError().empty())
            failure = lastBytes(ffmpegRunError(), 100);
        else if (!FileStamp::of(target).nonEmpty())
            failure = std::string(std::strerror(EIO)) + "(" + dst + ")";
    }
    if (failure.empty())
        return true;
    // What this run wrote is incomplete; a file it never reached stays.
    if (FileStamp::of(target) != before)
        removeFile(target);
    status.ok = false;
    status.error = failure;
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
