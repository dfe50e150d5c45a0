#include "training/CheckpointServer.h"

#include "common/HttpClient.h"
#include "common/ServerAddress.h"
#include "common/TextUtils.h"

#include <json-c/json.h>

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
