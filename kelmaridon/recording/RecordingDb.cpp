#include "recording/RecordingDb.h"

#include "common/Sqlite3Cursor.h"
#include "common/Sqlite3Query.h"
#include "recording/PromptsDb.h"

#include <sqlite3.h>

namespace {

const char* const kSchema =
    "\n"
    "CREATE TABLE config(\n"
    "    name VARCHAR PRIMARY KEY,\n"
    "    val VARCHAR\n"
    ");\n"
    "CREATE TABLE recording(\n"
    "    id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
    "    text VARCHAR NOT NULL,\n"
    "    status INTEGER NOT NULL DEFAULT 0,\n"
    "    pid INTEGER\n"
    ");\n"
    "CREATE INDEX idx_recording_status on recording(status);\n";

} // namespace

RecordingDb::RecordingDb() = default;

RecordingDb::~RecordingDb() = default;

bool RecordingDb::fail()
{
    error = "RecordingDb, " + db.errmsg();
    return false;
}

bool RecordingDb::failWith(const std::string& text)
{
    error = "RecordingDb, " + text;
    return false;
}

bool RecordingDb::noHandle()
{
    if (db.isOpen())
        return false;
    failWith("invalid db pointer.");
    return true;
}

void RecordingDb::close()
{
    db.close();
}

bool RecordingDb::create(const std::string& path, const std::string& lang)
{
    close();
    if (!db.open(path, std::string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE))
        return fail();
    char* message = nullptr;
    if (sqlite3_exec(db.get(), kSchema, nullptr, nullptr, &message) != SQLITE_OK) {
        error = message ? message : db.errmsg();
        sqlite3_free(message);
        return false;
    }
    language = lang;
    Sqlite3Query config("insert into config(name,val) values('lang',?)");
    config.addText(lang);
    if (!db.exec(config))
        return fail();

    std::vector<Prompt> prompts = listPrompts(lang);
    if (prompts.empty())
        return failWith("no prompts;");
    bool inTransaction = db.exec(Sqlite3Query("BEGIN TRANSACTION"));
    for (const Prompt& p : prompts) {
        Sqlite3Query insert("insert into recording(text, pid) values(?,?)");
        insert.addText(p.text);
        insert.addInt64(p.pid);
        if (!db.exec(insert)) {
            fail();
            // Nothing half-inserted stays behind.
            if (inTransaction)
                db.exec(Sqlite3Query("ROLLBACK TRANSACTION"));
            return false;
        }
    }
    if (inTransaction && !db.exec(Sqlite3Query("COMMIT TRANSACTION")))
        return fail();
    return true;
}

bool RecordingDb::open(const std::string& path)
{
    close();
    if (!db.open(path, std::string(), SQLITE_OPEN_READWRITE))
        return fail();
    Sqlite3Cursor c;
    if (!db.query("select * from config where name='lang'", c))
        return fail();
    if (!c.next()) {
        if (c.failed())
            return fail();
        return failWith("Invalid config 'lang'.");
    }
    language = c.getText("val");
    return true;
}

int64_t RecordingDb::nextPrompt(std::string& text)
{
    if (noHandle())
        return -1;
    Sqlite3Cursor c;
    if (!db.query("select * from recording where status ==0 order by status desc,id asc limit 1", c)) {
        fail();
        return -1;
    }
    if (!c.next()) {
        if (c.failed()) {
            fail();
            return -1;
        }
        return 0;
    }
    text = c.getText("text");
    return c.getInt64("id");
}

bool RecordingDb::recordedPrompts(std::vector<RecordedPrompt>& rows)
{
    if (noHandle())
        return false;
    rows.clear();
    Sqlite3Cursor c;
    if (!db.query("select * from recording where status > 0 order by id desc", c))
        return fail();
    while (c.next())
        rows.push_back({c.getInt64("id"), c.getInt64("pid"), c.getText("text")});
    if (c.failed())
        return fail();
    return true;
}

bool RecordingDb::setStatus(int64_t id, int32_t status)
{
    if (noHandle())
        return false;
    Sqlite3Query q("update recording set status=? where id=?");
    q.addInt(status);
    q.addInt64(id);
    if (!db.exec(q))
        return fail();
    return true;
}

bool RecordingDb::setRecorded(int64_t id)
{
    return setStatus(id, 1);
}

bool RecordingDb::removePrompt(int64_t id)
{
    if (!setStatus(id, -1))
        return false;
    Sqlite3Query q("delete from recording where id=? and (pid is null or pid=0)");
    q.addInt64(id);
    if (!db.exec(q))
        return fail();
    return true;
}
