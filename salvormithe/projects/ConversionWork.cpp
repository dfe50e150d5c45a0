#include "projects/ConversionWork.h"

#include "common/FileUtils.h"
#include "common/QtText.h"
#include "common/TextUtils.h"
#include "projects/PageMessages.h"
#include "projects/ProjectFolder.h"
#include "projects/SegList.h"
#include "projects/SentenceSplit.h"
#include "synthesis/WavJoin.h"
#include "voices/VoiceStore.h"

#include <algorithm>
#include <utility>

namespace fs = std::filesystem;

ConversionWork::Plan ConversionWork::plan(ProjectFolder& project, const QList<ProjectSeg>& segs,
                                          const std::map<int, ProjectVoice>& voices)
{
    Plan plan;
    std::map<std::pair<std::string, int>, std::pair<bool, LocalVoice>> installed;
    auto voiceOf = [&voices](int id) { return SegList::voiceIn(voices, id); };
    for (const ProjectSeg& s : segs) {
        const fs::path wav = project.segWavPath(s.id);
        if (s.converted > s.modified && pathExists(wav)) {
            plan.upToDate.push_back(s.id);
            continue;
        }
        std::vector<std::string> sentences = splitSentences(s.text);
        // Blanks alone say nothing.
        sentences.erase(std::remove_if(sentences.begin(), sentences.end(), isBlankText), sentences.end());
        if (sentences.empty()) {
            plan.upToDate.push_back(s.id);
            if (s.seconds == 0 && !pathExists(wav))
                continue;
            ProjectSeg cleared = s;
            project.removeSegAudio(s.id);
            if (!project.db().updateSegResult(cleared, 0, 0)) {
                plan.error = pagebox::tr("IDS_ERROR_OCCURED.") + fromUtf8(project.db().lastError());
                plan.todo.clear();
                return plan;
            }
            plan.emptied.push_back(cleared);
            continue;
        }
        const ProjectVoice v = voiceOf(s.voice_id);
        auto key = std::make_pair(v.uid, int(v.spk));
        auto found = installed.find(key);
        if (found == installed.end()) {
            LocalVoice lv;
            const bool ok = findInstalledVoice(v.uid, v.spk, lv);
            found = installed.emplace(key, std::make_pair(ok, lv)).first;
        }
        if (!found->second.first) {
            plan.error = pagebox::tr("Voice %1(%2) is unavailable. Please select another voice.")
                             .arg(fromUtf8(v.name), fromUtf8(v.native));
            plan.todo.clear();
            return plan;
        }
        Planned p;
        p.seg = s;
        p.voice = found->second.second;
        p.rate = s.voice_id == 0 && s.srate == 0 ? voiceOf(0).srate : s.srate;
        // Files an abandoned run left there are not this run's.
        const fs::path dir = project.segSentencesDir(s.id);
        std::error_code ec;
        if (!fs::is_empty(dir, ec) || ec) {
            removeAll(dir);
            createDirs(dir);
        }
        for (size_t i = 0; i < sentences.size(); ++i)
            p.wavs.push_back(pathToUtf8(dir / (std::to_string(i) + ".wav")));
        p.sentences = std::move(sentences);
        plan.todo.push_back(std::move(p));
    }
    return plan;
}

std::vector<ConversionWork::Joined> ConversionWork::join(ProjectFolder& project, const std::vector<Done>& done)
{
    std::vector<Joined> out(done.size());
    std::vector<double> seconds(done.size(), 0);
    for (size_t k = 0; k < done.size(); ++k) {
        const ProjectSeg& seg = done[k].seg;
        Joined& j = out[k];
        const fs::path dir = project.segSentencesDir(seg.id);
        bool found = false;
        if (!project.db().loadSeg(seg.id, j.seg, found)) {
            j.ok = false;
            j.error = fromUtf8(project.db().lastError());
            continue;
        }
        // The sentences were made from seg: a segment changed since then
        // keeps no audio of its older text.
        j.gone = !found;
        j.stale = !found || j.seg.text != seg.text || j.seg.modified != seg.modified ||
                  j.seg.voice_id != seg.voice_id || j.seg.srate != seg.srate;
        if (j.stale) {
            removeAll(dir);
            continue;
        }
        std::vector<std::string> inputs;
        for (int i = 0; i < done[k].sentences; ++i) {
            fs::path p = dir / (std::to_string(i) + ".wav");
            if (pathExists(p))
                inputs.push_back(pathToUtf8(p));
        }
        std::string error;
        j.ok = mergeWavFiles(inputs, pathToUtf8(project.segWavPath(seg.id)), &seconds[k], &error);
        if (!j.ok)
            j.error = fromUtf8(error);
        else
            removeAll(dir);
    }
    // One commit for all of them: a segment of one short sentence costs no
    // more than its share of a write to the disk.
    const bool stored = project.db().inTransaction([&]() {
        for (size_t k = 0; k < done.size(); ++k) {
            Joined& j = out[k];
            if (j.ok && !j.stale && !project.db().updateSegResult(j.seg, seconds[k], done[k].sentences))
                return false;
        }
        return true;
    });
    if (!stored) {
        const QString error = fromUtf8(project.db().lastError());
        for (Joined& j : out) {
            if (j.ok && !j.stale) {
                j.ok = false;
                j.error = error;
            }
        }
    }
    return out;
}

QString ConversionWork::joinAll(ProjectFolder& project, const std::vector<int>& segIds)
{
    std::vector<std::string> inputs;
    for (int id : segIds) {
        fs::path wav = project.segWavPath(id);
        if (pathExists(wav))
            inputs.push_back(pathToUtf8(wav));
    }
    double seconds = 0;
    std::string error;
    if (mergeWavFiles(inputs, pathToUtf8(project.mergedWavPath()), &seconds, &error))
        return QString();
    return fromUtf8(error);
}
