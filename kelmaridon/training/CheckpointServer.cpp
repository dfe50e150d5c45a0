#include "training/CheckpointServer.h"

#include "common/HttpClient.h"
#include "common/ServerAddress.h"
#include "common/TextUtils.h"

#include <json-c/json.h>

#include <cstdlib>

namespace {

// The language list is a few hundred bytes; a larger or slower answer is no list.
constexpr long kListSeconds = 15;
constexpr size_t kListMaxBytes = 1 << 20;

} // namespace

std::map<std::string, JsonRef> jsonObjectFields(const JsonRef& value)
{
    std::map<std::string, JsonRef> fields;
    if (!value.isObject())
        return fields;
    json_object_object_foreach(value.get(), key, member)
    {
        fields[key] = JsonRef(member ? json_object_get(member) : nullptr);
    }
    return fields;
}

bool fetchCheckpointLangs(const std::function<void(const std::string& key, const std::string& value)>& callback)
{
    HttpClient client;
    client.setLimits(kListSeconds, kListMaxBytes);
    if (!client.prepare(voiceServerBase() + "ckpt.php?r=langs", std::string(), {}))
        return false;
    JsonRef doc = JsonRef::parse(client.performText());
    if (!doc.isObject())
        return false;
    for (const auto& [key, value] : jsonObjectFields(doc))
        callback(key, value.toString());
    return true;
}

std::string checkpointDownloadUrl(const std::string& lang)
{
    return voiceServerBase() + "ckpt.php?r=download&ln=" + encodeQueryValue(lang);
}

std::string trainingEnvUrl()
{
    return voiceServerBase() + "download/tenv_gpu_win64.7z";
}

int64_t fetchTrainingEnvSize(HttpClient& client)
{
    // The first byte alone: its "Content-Range" names the whole size.
    client.setLimits(kListSeconds, 4096);
    if (!client.prepare(trainingEnvUrl(), std::string(), {"Range: bytes=0-0"}))
        return -1;
    client.performText();
    if (client.status != 206)
        return -1;
    std::string range = client.headerValue("Content-Range");
    size_t slash = range.rfind('/');
    if (range.compare(0, 6, "bytes ") != 0 || slash == std::string::npos || slash + 1 >= range.size())
        return -1;
    const std::string total = range.substr(slash + 1);
    if (total.find_first_not_of("0123456789") != std::string::npos || total.size() > 18)
        return -1;
    return std::strtoll(total.c_str(), nullptr, 10);
}
