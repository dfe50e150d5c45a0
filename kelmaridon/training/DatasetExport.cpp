#include "training/DatasetExport.h"

#include "common/FileUtils.h"
#include "common/QtText.h"
#include "common/TextUtils.h"
#include "recording/PromptsDb.h"
#include "recording/RecordingDb.h"
#include "recording/TakeWav.h"

#include <QtGlobal>

#include <algorithm>
#include <regex>

namespace {

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

std::string cleanPromptText(const std::string& text)
{
    static const std::regex breaks("[|\\r\\n]+");
    // The tools read the list as UTF-8: a byte sequence that is none becomes U+FFFD.
    const std::string utf8 = isValidUtf8(text) ? text : fromUtf8(text).toUtf8().toStdString();
    return std::regex_replace(utf8, breaks, " ");
}

std::string leftOutText(const std::vector<int64_t>& ids)
{
    std::string text = "Left out of the dataset, no valid take:";
    for (size_t i = 0; i < ids.size(); ++i)
        text += (i ? ", " : " ") + std::to_string(ids[i]);
    return text;
}

bool exportDataset(const std::string& recordingDir, std::string& language, std::string* error,
                   std::vector<int64_t>* leftOut)
{
    std::filesystem::path dir = utf8ToPath(recordingDir);
    RecordingDb db;
    if (!db.open(pathToUtf8(dir / "recording.db")))
        return fail(error, db.lastError());
    std::vector<RecordedPrompt> rows;
    if (!db.recordedPrompts(rows))
        return fail(error, db.lastError());
    std::sort(rows.begin(), rows.end(), [](const RecordedPrompt& a, const RecordedPrompt& b) { return a.id < b.id; });
    language = findPromptLang(db.lang()).vlang;

    // The training tools get no take that is missing, empty or not ours.
    std::string text;
    std::vector<int64_t> skipped;
    for (const RecordedPrompt& row : rows) {
        std::string name = std::to_string(row.id) + ".wav";
        if (!TakeWav::check(dir / "wav" / name)) {
            skipped.push_back(row.id);
            continue;
        }
        text += "wav/" + name + "|" + cleanPromptText(row.text) + "\n";
    }
    if (leftOut)
        *leftOut = skipped;
    if (!skipped.empty()) {
        qWarning("%s", leftOutText(skipped).c_str());
        if (skipped.size() == rows.size())
            return fail(error, leftOutText(skipped));
    }
    // Written afresh: a link standing at the name is replaced, not followed.
    std::string why;
    if (!replaceFileAtomic(dir / "metadata.csv", text, why))
        return fail(error, why);
    return true;
}
