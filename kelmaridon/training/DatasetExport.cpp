#include "training/DatasetExport.h"

#include "common/FileUtils.h"
#include "common/TextUtils.h"
#include "recording/PromptsDb.h"
#include "recording/RecordingDb.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <regex>
#include <vector>

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
    return std::regex_replace(text, breaks, " ");
}

bool exportDataset(const std::string& recordingDir, std::string& language, std::string* error)
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

    std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen((dir / "metadata.csv").c_str(), "wb"), std::fclose);
    if (!out)
        return fail(error, std::strerror(errno));
    for (const RecordedPrompt& row : rows) {
        std::string line = formatString("wav/%d.wav|%s\n", int32_t(row.id), cleanPromptText(row.text).c_str());
        if (std::fwrite(line.data(), 1, line.size(), out.get()) != line.size() || std::ferror(out.get()))
            return fail(error, std::strerror(errno));
    }
    // Buffered lines meet a full disk only here.
    if (std::fflush(out.get()) != 0)
        return fail(error, std::strerror(errno));
    FILE* f = out.release();
    if (std::fclose(f) != 0)
        return fail(error, std::strerror(errno));
    return true;
}
