// Builds the prompts database from the language table and one sentence file
// per language: make_prompts_db langs.tsv <folder of sentence files> out.db
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Lang
{
    std::string code, name, native, vlang, last;
};

const char* const kSchema =
    "PRAGMA page_size=4096;"
    "PRAGMA encoding='UTF-8';"
    "CREATE TABLE lang(lang varchar PRIMARY KEY, name varchar, native varchar, vlang varchar, last integer null);"
    "CREATE TABLE prompts(id INTEGER PRIMARY KEY AUTOINCREMENT, lang varchar, pid INTEGER, text varchar);"
    "CREATE INDEX idx_prompts_lang on prompts(lang);"
    "CREATE TABLE espeak_ng(id INTEGER PRIMARY KEY AUTOINCREMENT, vlang varchar, vname varchar, vfile varchar);";

std::string trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    size_t e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// Lines that are neither empty nor comments.
bool readLines(const std::string& path, std::vector<std::string>& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (trim(line).empty() || trim(line)[0] == '#')
            continue;
        out.push_back(line);
    }
    return true;
}

std::vector<std::string> splitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    std::stringstream ss(line);
    std::string f;
    while (std::getline(ss, f, '\t'))
        fields.push_back(trim(f));
    return fields;
}

bool fail(sqlite3* db, const std::string& what)
{
    std::cerr << "make_prompts_db: " << what << (db ? std::string(": ") + sqlite3_errmsg(db) : "") << "\n";
    return false;
}

bool bindText(sqlite3_stmt* st, int i, const std::string& s)
{
    if (s.empty())
        return sqlite3_bind_null(st, i) == SQLITE_OK;
    return sqlite3_bind_text(st, i, s.c_str(), int(s.size()), SQLITE_TRANSIENT) == SQLITE_OK;
}

bool build(sqlite3* db, const std::vector<Lang>& langs, const std::string& folder)
{
    if (sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(db, "schema");
    sqlite3_stmt* langStmt = nullptr;
    sqlite3_stmt* promptStmt = nullptr;
    bool ok = sqlite3_prepare_v2(db, "insert into lang(lang,name,native,vlang,last) values(?,?,?,?,?)", -1,
                                 &langStmt, nullptr) == SQLITE_OK &&
              sqlite3_prepare_v2(db, "insert into prompts(lang,pid,text) values(?,?,?)", -1, &promptStmt,
                                 nullptr) == SQLITE_OK;
    if (!ok)
        fail(db, "prepare");
    for (size_t n = 0; ok && n < langs.size(); ++n) {
        const Lang& l = langs[n];
        bool bound = bindText(langStmt, 1, l.code) && bindText(langStmt, 2, l.name) &&
                     bindText(langStmt, 3, l.native) && bindText(langStmt, 4, l.vlang) &&
                     (l.last.empty() ? sqlite3_bind_null(langStmt, 5) == SQLITE_OK
                                     : sqlite3_bind_int64(langStmt, 5, std::stoll(l.last)) == SQLITE_OK);
        if (!bound || sqlite3_step(langStmt) != SQLITE_DONE) {
            ok = fail(db, "language " + l.code);
            break;
        }
        sqlite3_reset(langStmt);

        std::vector<std::string> sentences;
        std::string file = folder + "/" + l.code + ".txt";
        if (!readLines(file, sentences) || sentences.empty()) {
            ok = fail(nullptr, "no sentences in " + file);
            break;
        }
        std::set<std::string> seen;
        for (size_t i = 0; ok && i < sentences.size(); ++i) {
            const std::string text = trim(sentences[i]);
            if (!seen.insert(text).second) {
                ok = fail(nullptr, file + ": repeated sentence: " + text);
                break;
            }
            if (!bindText(promptStmt, 1, l.code) || sqlite3_bind_int64(promptStmt, 2, int64_t(i + 1)) != SQLITE_OK ||
                !bindText(promptStmt, 3, text) || sqlite3_step(promptStmt) != SQLITE_DONE) {
                ok = fail(db, "sentence of " + l.code);
                break;
            }
            sqlite3_reset(promptStmt);
        }
    }
    sqlite3_finalize(langStmt);
    sqlite3_finalize(promptStmt);
    if (ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        ok = fail(db, "commit");
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "usage: make_prompts_db langs.tsv folder out.db\n";
        return 2;
    }
    std::vector<std::string> rows;
    if (!readLines(argv[1], rows)) {
        std::cerr << "make_prompts_db: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::vector<Lang> langs;
    for (const std::string& row : rows) {
        std::vector<std::string> f = splitTabs(row);
        if (f.size() < 4 || f.size() > 5) {
            std::cerr << "make_prompts_db: bad language line: " << row << "\n";
            return 1;
        }
        f.resize(5);
        langs.push_back({f[0], f[1], f[2], f[3], f[4]});
    }

    std::string out = argv[3];
    std::string tmp = out + ".tmp";
    std::remove(tmp.c_str());
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(tmp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK &&
              build(db, langs, argv[2]);
    if (!ok && db)
        fail(db, "build");
    ok = sqlite3_close(db) == SQLITE_OK && ok;
    if (!ok || std::rename(tmp.c_str(), out.c_str()) != 0) {
        std::remove(tmp.c_str());
        std::cerr << "make_prompts_db: failed\n";
        return 1;
    }
    return 0;
}
