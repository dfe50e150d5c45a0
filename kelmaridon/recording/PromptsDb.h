#pragma once

#include "recording/Prompt.h"
#include "recording/PromptLang.h"

#include <QByteArray>

#include <filesystem>
#include <string>
#include <vector>

class Sqlite3DB;

// The process-wide connection to the prompts database. The first call writes
// the embedded copy to the user's temporary folder when the file is missing or
// broken, and opens it.
Sqlite3DB& promptsDb();

// The language of code; name, native and vlang empty when it is unknown.
PromptLang findPromptLang(const std::string& code);
// Every language, ranked ones first, then in table order.
std::vector<PromptLang> listPromptLangs();
// The prompts of one language in id order.
std::vector<Prompt> listPrompts(const std::string& code);

// Where promptsDb keeps its file.
std::filesystem::path promptsFilePath();
// The database embedded in the program.
QByteArray embeddedPromptsDb();
// Opens the prompts file at path into db, first writing the embedded copy when
// the file is missing or fails the probe. False when no usable file could be
// opened; the file is then removed and db left closed.
bool openPromptsFile(Sqlite3DB& db, const std::filesystem::path& path);
