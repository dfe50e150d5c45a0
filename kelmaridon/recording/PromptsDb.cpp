#include "recording/PromptsDb.h"

#include "common/FileUtils.h"
#include "common/Platform.h"
#include "common/Sqlite3Cursor.h"
#include "common/Sqlite3DB.h"
#include "common/Sqlite3Query.h"

#include <QFile>

#include <sqlite3.h>

#include <mutex>

namespace fs = std::filesystem;

// Resources of a static library are registered by hand.
static void registerPromptsResource()
{
    Q_INIT_RESOURCE(prompts);
}

namespace {

bool writeCopy(const fs::path& path, const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return false;
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::string error;
    return replaceFileAtomic(path, bytes.toStdString(), error);
}

int64_t countRows(Sqlite3DB& db, const char* sql)
{
    Sqlite3Cursor c;
    if (!db.query(sql, c) || !c.next())
        return -1;
    return c.getInt64("n");
}

// A whole, readable copy: every page checks out and both tables have rows.
bool probe(Sqlite3DB& db)
{
    Sqlite3Cursor check;
    if (!db.query("PRAGMA quick_check", check) || !check.next() || check.getText("quick_check") != "ok")
        return false;
    return countRows(db, "select count(*) as n from lang") > 0 &&
           countRows(db, "select count(*) as n from prompts") > 0;
}

bool openChecked(Sqlite3DB& db, const fs::path& path)
{
    if (db.open(pathToUtf8(path), std::string(), SQLITE_OPEN_READWRITE) && probe(db))
        return true;
    db.close();
    return false;
}

} // namespace

fs::path promptsFilePath()
{
    return platform::userTempDir() / "quorvine_salvormithe_prompts.db";
}

QByteArray embeddedPromptsDb()
{
    static std::once_flag once;
    std::call_once(once, registerPromptsResource);
    QFile f(QStringLiteral(":/promptsres/prompts.db"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool openPromptsFile(Sqlite3DB& db, const fs::path& path)
{
    std::error_code ec;
    if (!fs::exists(path, ec))
        writeCopy(path, embeddedPromptsDb());
    if (openChecked(db, path))
        return true;
    // Cut short, damaged or not a database: put a fresh copy in its place.
    if (writeCopy(path, embeddedPromptsDb()) && openChecked(db, path))
        return true;
    fs::remove(path, ec);
    return false;
}

Sqlite3DB& promptsDb()
{
    static Sqlite3DB db;
    static std::once_flag once;
    std::call_once(once, [] { openPromptsFile(db, promptsFilePath()); });
    return db;
}

PromptLang findPromptLang(const std::string& code)
{
    PromptLang result;
    result.lang = code;
    Sqlite3DB& db = promptsDb();
    if (!db.isOpen())
        return result;
    Sqlite3Query q("select * from lang where lang=?");
    q.addText(code);
    Sqlite3Cursor c;
    if (c.prepare(db.get(), q) && c.next()) {
        result.name = c.getText("name");
        result.native = c.getText("native");
        result.vlang = c.getText("vlang");
    }
    return result;
}

std::vector<PromptLang> listPromptLangs()
{
    std::vector<PromptLang> langs;
    Sqlite3DB& db = promptsDb();
    Sqlite3Cursor c;
    if (!db.isOpen() || !db.query("select * from lang order by last desc, rowid asc", c))
        return langs;
    while (c.next())
        langs.push_back({c.getText("lang"), c.getText("name"), c.getText("native"), c.getText("vlang")});
    return langs;
}

std::vector<Prompt> listPrompts(const std::string& code)
{
    std::vector<Prompt> prompts;
    Sqlite3DB& db = promptsDb();
    if (!db.isOpen())
        return prompts;
    Sqlite3Query q("select * from prompts where lang=? order by id asc");
    q.addText(code);
    Sqlite3Cursor c;
    if (!c.prepare(db.get(), q))
        return prompts;
    while (c.next())
        prompts.push_back({c.getInt("id"), c.getInt64("pid"), c.getText("text")});
    return prompts;
}
