#include "projects/ProjectDb.h"

#include "common/FileUtils.h"
#include "common/Sqlite3Cursor.h"
#include "common/Sqlite3InsertQuery.h"
#include "common/Sqlite3Query.h"
#include "common/TextUtils.h"
#include "projects/SegText.h"
#include "voices/LocalVoice.h"

#include <sqlite3.h>

#include <ctime>
#include <filesystem>

namespace {

const char kCreateScript[] = R"(
create table seg (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    sort INTEGER NOT NULL DEFAULT 0,
    voice_id INTEGER NOT NULL,
    srate REAL,
    text TEXT,
    modified INTEGER NOT NULL DEFAULT 0,
    converted INTEGER NOT NULL DEFAULT 0,
    seconds REAL,
    sentences INTEGER
);
create index idx_seg_sort on seg(sort);
create index idx_seg_voice on seg(voice_id);

create table voice (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    uid VARCHAR NOT NULL,
    spk INTEGER NOT NULL,
    name VARCHAR,
    color VARCHAR,
    lang VARCHAR,
    eng VARCHAR,
    native VARCHAR,
    quality INTEGER,
    sex INTEGER,
    srate REAL NOT NULL DEFAULT 0
);
create index idx_voice_uid_spk on voice(uid, spk);

PRAGMA journal_mode=WAL;
)";

int64_t now()
{
    return static_cast<int64_t>(std::time(nullptr));
}

ProjectSeg readSeg(Sqlite3Cursor& c)
{
    ProjectSeg s;
    s.id = c.getInt("id");
    s.voice_id = c.getInt("voice_id");
    s.srate = static_cast<float>(c.getDouble("srate"));
    s.text = c.getText("text");
    s.modified = c.getInt64("modified");
    s.converted = c.getInt64("converted");
    s.seconds = c.getDouble("seconds");
    s.sentences = c.getInt("sentences");
    return s;
}

ProjectVoice readVoice(Sqlite3Cursor& c)
{
    ProjectVoice v;
    v.id = c.getInt("id");
    v.uid = c.getText("uid");
    v.spk = c.getInt("spk");
    v.name = c.getText("name");
    v.color = c.getText("color");
    v.lang = c.getText("lang");
    v.eng = c.getText("eng");
    v.native = c.getText("native");
    v.quality = c.getInt("quality");
    v.sex = c.getInt("sex");
    v.srate = static_cast<float>(c.getDouble("srate"));
    return v;
}

// The columns both voice writers store from a LocalVoice.
Sqlite3ValueMap voiceValues(const LocalVoice& voice, const std::string& color)
{
    Sqlite3ValueMap m;
    m["uid"] = Sqlite3Value::fromText(voice.uid);
    m["spk"] = Sqlite3Value(voice.spk);
    m["name"] = Sqlite3Value::fromText(voice.name);
    m["color"] = Sqlite3Value::fromText(color);
    m["lang"] = Sqlite3Value::fromText(voice.lang);
    m["eng"] = Sqlite3Value::fromText(voice.eng);
    m["native"] = Sqlite3Value::fromText(voice.native);
    m["quality"] = Sqlite3Value(voice.quality);
    m["sex"] = Sqlite3Value(voice.sex);
    return m;
}

} // namespace

ProjectDb::ProjectDb()
{
    static const int registered = qRegisterMetaType<ProjectSeg>("ProjectSeg");
    (void)registered;
}

ProjectDb::~ProjectDb()
{
    if (db.isOpen())
        sqlite3_wal_checkpoint(db.get(), nullptr);
}

bool ProjectDb::fail()
{
    error = db.errmsg();
    return false;
}

bool ProjectDb::run(const char* sql)
{
    return db.exec(Sqlite3Query(sql)) || fail();
}

bool ProjectDb::inTransaction(const std::function<bool()>& body)
{
    if (!run("begin"))
        return false;
    if (body() && run("commit"))
        return true;
    const std::string failure = error;
    run("rollback");
    error = failure;
    return false;
}

bool ProjectDb::openProjectDb(const std::string& path)
{
    error.clear();
    std::filesystem::path file = utf8ToPath(path);
    if (pathExists(file)) {
        if (!db.open(path, "", SQLITE_OPEN_READWRITE))
            return fail();
        // A file that is no project database shows here, not at the first query.
        if (!checkSchema()) {
            db.close();
            return false;
        }
        return true;
    }
    if (!db.open(path, "", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE))
        return fail();
    char* msg = nullptr;
    if (sqlite3_exec(db.get(), kCreateScript, nullptr, nullptr, &msg) != SQLITE_OK) {
        error = msg ? msg : db.errmsg();
        sqlite3_free(msg);
        db.close();
        std::error_code ec;
        std::filesystem::remove(file, ec);
        std::filesystem::remove(utf8ToPath(path + "-wal"), ec);
        std::filesystem::remove(utf8ToPath(path + "-shm"), ec);
        return false;
    }
    return true;
}

bool ProjectDb::checkSchema()
{
    // Compiling these reads the schema, and with it the file's header and
    // schema pages: a random, empty or cut file fails here.
    for (const char* sql : {"select id, sort, voice_id, srate, text, modified, converted, seconds, sentences "
                            "from seg limit 0",
                            "select id, uid, spk, name, color, lang, eng, native, quality, sex, srate "
                            "from voice limit 0"}) {
        Sqlite3Cursor c;
        if (!db.query(sql, c)) {
            error = std::string("Invalid database. ") + db.errmsg();
            return false;
        }
    }
    return true;
}

bool ProjectDb::loadSegs(const std::function<void(const ProjectSeg&)>& onSeg)
{
    Sqlite3Cursor c;
    if (!db.query("select * from seg order by sort asc, id asc", c))
        return fail();
    while (c.next())
        onSeg(readSeg(c));
    return !c.failed() || fail();
}

bool ProjectDb::loadSeg(int id, ProjectSeg& seg, bool& found)
{
    found = false;
    Sqlite3Query q("select * from seg where id=?");
    q.addInt(id);
    Sqlite3Cursor c;
    if (!c.prepare(db.get(), q))
        return fail();
    if (c.next()) {
        seg = readSeg(c);
        found = true;
    }
    return !c.failed() || fail();
}

bool ProjectDb::loadVoices(const std::function<void(const ProjectVoice&)>& onVoice, int id)
{
    Sqlite3Query q("select * from voice");
    if (id >= 0) {
        q.sql += " where id=?";
        q.addInt(id);
    }
    Sqlite3Cursor c;
    if (!c.prepare(db.get(), q))
        return fail();
    while (c.next())
        onVoice(readVoice(c));
    return !c.failed() || fail();
}

// Steps to the first row; false (with the error kept) when the step failed.
bool ProjectDb::readSingle(Sqlite3Cursor& c, bool& hasRow)
{
    hasRow = c.next();
    return hasRow || !c.failed() || fail();
}

int ProjectDb::findVoiceId(const LocalVoice& voice)
{
    Sqlite3Query q("select id from voice where uid=? and spk=? and id <> 0");
    q.addText(voice.uid);
    q.addInt(voice.spk);
    Sqlite3Cursor c;
    bool hasRow = false;
    if (!c.prepare(db.get(), q)) {
        fail();
        return -1;
    }
    if (!readSingle(c, hasRow))
        return -1;
    return hasRow ? c.getInt("id") : 0;
}

int ProjectDb::maxVoiceId()
{
    Sqlite3Cursor c;
    bool hasRow = false;
    if (!db.query("select max(id) from voice", c)) {
        fail();
        return -1;
    }
    if (!readSingle(c, hasRow))
        return -1;
    return hasRow ? c.getInt("max(id)") : 0;
}

int ProjectDb::addVoice(const LocalVoice& voice, const std::string& color)
{
    Sqlite3Query q;
    buildInsertQuery(voiceValues(voice, color), q, "voice", {}, "INSERT INTO");
    if (!db.exec(q)) {
        fail();
        return 0;
    }
    return static_cast<int>(sqlite3_last_insert_rowid(db.get()));
}

bool ProjectDb::saveDefaultVoice(const LocalVoice& voice, float srate, const std::string& color)
{
    Sqlite3ValueMap m = voiceValues(voice, color);
    m["id"] = Sqlite3Value(0);
    m["srate"] = Sqlite3Value(static_cast<double>(srate));
    Sqlite3Query q;
    buildInsertQuery(m, q, "voice", {}, "replace into");
    if (!db.exec(q))
        return fail();
    return markDefaultVoiceSegsModified();
}

bool ProjectDb::markDefaultVoiceSegsModified()
{
    Sqlite3Query q("update seg set modified=? where voice_id=0");
    q.addInt64(now());
    return db.exec(q) || fail();
}

bool ProjectDb::insertSegsAfter(int afterId, std::vector<ProjectSeg>& segs, int start, int count)
{
    int available = static_cast<int>(segs.size()) - start;
    if (count < 1 || count > available)
        count = available;
    if (count < 1 || start < 0)
        return true;

    int64_t base = 0;
    if (afterId >= 1) {
        Sqlite3Query q("select sort from seg where id=?");
        q.addInt(afterId);
        Sqlite3Cursor c;
        bool hasRow = false;
        if (!c.prepare(db.get(), q) || !readSingle(c, hasRow))
            return fail();
        base = hasRow ? c.getInt64("sort") : 0;
        if (base > 0) {
            Sqlite3Query shift(formatString("update seg set sort=sort+%d where sort > ?", count));
            shift.addInt64(base);
            if (!db.exec(shift))
                return fail();
        }
    }
    if (afterId < 1 || base <= 0) {
        Sqlite3Cursor c;
        bool hasRow = false;
        if (!db.query("select sort from seg order by sort desc limit 1", c) || !readSingle(c, hasRow))
            return fail();
        base = hasRow ? c.getInt64("sort") : 0;
    }

    for (int i = 0; i < count; ++i) {
        ProjectSeg& r = segs[static_cast<size_t>(start + i)];
        int64_t t = now();
        Sqlite3ValueMap m;
        m["sort"] = Sqlite3Value(static_cast<int>(base + 1 + i));
        m["voice_id"] = Sqlite3Value(r.voice_id);
        m["srate"] = Sqlite3Value(static_cast<double>(r.srate));
        m["text"] = Sqlite3Value::fromText(r.text);
        m["modified"] = Sqlite3Value::fromInt64(t);
        Sqlite3Query q;
        buildInsertQuery(m, q, "seg", {}, "INSERT INTO");
        if (!db.exec(q))
            return fail();
        r.modified = t;
        r.id = static_cast<int32_t>(sqlite3_last_insert_rowid(db.get()));
    }
    return true;
}

bool ProjectDb::updateSeg(ProjectSeg& seg)
{
    int64_t t = now();
    Sqlite3Query q("update seg set voice_id=?, srate=?, text=?, modified=? where id=?");
    q.addInt(seg.voice_id);
    q.addDouble(seg.srate);
    q.addText(seg.text);
    q.addInt64(t);
    q.addInt(seg.id);
    if (!db.exec(q))
        return fail();
    seg.modified = t;
    return true;
}

bool ProjectDb::updateSegResult(ProjectSeg& seg, double seconds, int sentences)
{
    int64_t t = now();
    Sqlite3Query q("update seg set converted=?, seconds=?, sentences=? where id=?");
    q.addInt64(t);
    q.addDouble(seconds);
    q.addInt(sentences);
    q.addInt(seg.id);
    if (!db.exec(q))
        return fail();
    seg.converted = t;
    seg.seconds = seconds;
    seg.sentences = sentences;
    return true;
}

bool ProjectDb::deleteSeg(int id, const std::function<void(int)>& onDeleted)
{
    Sqlite3Query q("delete from seg where id=?");
    q.addInt(id);
    if (!db.exec(q))
        return fail();
    if (onDeleted)
        onDeleted(id);
    return true;
}

bool ProjectDb::mergeSegText(ProjectSeg& seg, int removedId, const std::string& text,
                             const std::function<void(int)>& onDeleted)
{
    ProjectSeg merged = seg;
    merged.text = trimSegText(merged.text + " " + text);
    // The removed segment's files go only once both changes are committed.
    if (!inTransaction([&]() { return deleteSeg(removedId, nullptr) && updateSeg(merged); }))
        return false;
    seg = merged;
    if (onDeleted)
        onDeleted(removedId);
    return true;
}

bool ProjectDb::splitTextToSegs(const ProjectSeg& base, const std::string& text, std::vector<ProjectSeg>& out)
{
    out.clear();
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t lf = text.find('\n', pos);
        if (lf == std::string::npos)
            lf = text.size();
        std::string line = trimSegText(text.substr(pos, lf - pos));
        if (!isBlankText(line)) {
            ProjectSeg s = base;
            s.text = std::move(line);
            out.push_back(std::move(s));
        }
        pos = lf + 1;
    }
    if (out.empty()) {
        ProjectSeg s = base;
        s.text.clear();
        out.push_back(std::move(s));
    }
    if (base.id == 0)
        return insertSegsAfter(0, out, 0, 0);
    out[0].id = base.id;
    if (!updateSeg(out[0]))
        return false;
    return insertSegsAfter(base.id, out, 1, 0);
}
