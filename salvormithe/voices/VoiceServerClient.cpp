#include "voices/VoiceServerClient.h"

#include "common/FileDownloader.h"
#include "common/FileUtils.h"
#include "common/HttpClient.h"
#include "common/JsonRef.h"
#include "common/Platform.h"
#include "common/ServerAddress.h"
#include "common/TextUtils.h"
#include "voices/VoiceBasics.h"
#include "voices/VoiceTask.h"

#include <map>

namespace fs = std::filesystem;

namespace {

// What one catalogue request may take: a list request that goes on for longer,
// or sends more, fails.
constexpr long listTotalSeconds = 30;
constexpr size_t listMaxBytes = 8 * 1024 * 1024;

// GETs a catalogue path; false with the client's error when nothing came back.
// The task, when given, can abort the request from another thread.
bool fetchText(const std::string& path, std::string& body, std::string& error, VoiceTask* task)
{
    HttpClient client;
    client.setTimeouts(10, 15);
    client.setLimits(listTotalSeconds, listMaxBytes);
    if (task)
        task->setCancel([&client] { client.aborted = true; });
    body.clear();
    if (!task || !task->isCancelled()) {
        client.prepare(voiceServerBase() + path, std::string(), {});
        body = client.performText();
    } else {
        client.lastError = "CURL: " + std::string(curl_easy_strerror(CURLE_ABORTED_BY_CALLBACK));
    }
    if (task)
        task->setCancel(nullptr);
    if (body.empty()) {
        error = client.lastError;
        return false;
    }
    return true;
}

} // namespace

bool fetchServerLangs(std::vector<ServerLang>& out, std::string& error, VoiceTask* task)
{
    std::string body;
    if (!fetchText("langs.php", body, error, task))
        return false;
    JsonRef doc = JsonRef::parse(body);
    int count = doc.isArray() ? doc.size() : 0;
    for (int i = 0; i < count; ++i) {
        JsonRef item = doc.at(i);
        ServerLang lang;
        lang.id = i + 1;
        lang.lang = item.get("lang").toString();
        lang.name = item.get("name").toString();
        lang.native = item.get("native").toString();
        out.push_back(std::move(lang));
    }
    return true;
}

bool fetchServerVoices(const std::string& lang, std::vector<ServerVoice>& out, std::string& error, VoiceTask* task)
{
    std::string body;
    if (!fetchText("voices.php?lang=" + encodeQueryValue(lang), body, error, task))
        return false;
    JsonRef doc = JsonRef::parse(body);
    std::map<std::string, int> columns;
    JsonRef cols = doc.get("cols");
    for (int i = 0; i < (cols.isArray() ? cols.size() : 0); ++i)
        columns[cols.at(i).toString()] = i;
    auto cell = [&columns](const JsonRef& row, const char* name) {
        auto it = columns.find(name);
        return (it == columns.end() || !row.isArray()) ? JsonRef() : row.at(it->second);
    };
    JsonRef rows = doc.get("rows");
    int count = rows.isArray() ? rows.size() : 0;
    for (int r = 0; r < count; ++r) {
        JsonRef row = rows.at(r);
        ServerVoice v;
        v.id = r + 1;
        v.uid = cell(row, "uid").toString();
        v.spk = cell(row, "spk").toInt();
        v.lang = cell(row, "lang").toString();
        v.eng = cell(row, "eng").toString();
        v.native = cell(row, "native").toString();
        v.name = cell(row, "name").toString();
        v.user_name = cell(row, "user_name").toString();
        v.sex = cell(row, "sex").toInt();
        v.quality = cell(row, "quality").toInt();
        v.downloaded = cell(row, "downloaded").toInt();
        v.clicked = cell(row, "clicked").toInt();
        v.fav_amount = cell(row, "fav_amount").toInt();
        v.fav_persons = cell(row, "fav_persons").toInt();
        out.push_back(std::move(v));
    }
    return true;
}

fs::path voiceSamplePath(const std::string& uid, int spk)
{
    return platform::userTempDir() / utf8ToPath(formatString("quorvine_voice_%s-spk%d.mp3", uid.c_str(), spk));
}

fs::path downloadVoiceSample(const std::string& uid, int spk, std::string& error, VoiceTask* task)
{
    // The uid becomes part of a file name in the temporary folder.
    if (!isSafeVoiceUid(uid)) {
        error = "Invalid voice uid. ";
        return fs::path();
    }
    FileDownloader downloader;
    if (task) {
        task->setCancel([&downloader] { downloader.aborted = true; });
    }
    fs::path target = voiceSamplePath(uid, spk);
    // The user's cache folder may not exist yet; it is made private to the user.
    if (!pathExists(target.parent_path())) {
        createDirs(target.parent_path());
        std::error_code ec;
        fs::permissions(target.parent_path(), fs::perms::owner_all, fs::perm_options::replace, ec);
    }
    bool ok = false;
    if (!task || !task->isCancelled()) {
        ok = downloader.download(voiceServerBase()
                                     + formatString("voice_sample.php?uid=%s&spk=%d", encodeQueryValue(uid).c_str(), spk),
                                 target, std::string(), error);
    }
    if (task)
        task->setCancel(nullptr);
    return ok ? target : fs::path();
}
