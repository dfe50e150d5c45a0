#pragma once

#include "common/JsonRef.h"

class HttpClient;

#include <cstdint>
#include <functional>
#include <map>
#include <string>

// Asks the model server which languages have a base checkpoint: the callback
// gets each language code with the file name its checkpoint is stored under, in
// key order. False, with no callback, when the reply is not a JSON object.
bool fetchCheckpointLangs(const std::function<void(const std::string& key, const std::string& value)>& callback);

// The members of a JSON object by name; empty for anything else.
std::map<std::string, JsonRef> jsonObjectFields(const JsonRef& value);

// Where the base checkpoint of a language and the training environment are
// downloaded from.
std::string checkpointDownloadUrl(const std::string& lang);
std::string trainingEnvUrl();
// The size in bytes of the environment archive the server hands out, asked
// through client (whose abort flag ends the request); -1 when the server does
// not say.
int64_t fetchTrainingEnvSize(HttpClient& client);
