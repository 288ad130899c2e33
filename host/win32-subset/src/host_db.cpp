#include "host_db.h"

#include <qvlmr_host.h>

#include <stdio.h>
#include <unistd.h>

namespace qvhost {

namespace {
sqlite3 *g_db = nullptr;

const char *const kSchema =
    "PRAGMA journal_mode=WAL;"
    "PRAGMA synchronous=NORMAL;"  // a stand-in for the registry: consistency, not durability
    "CREATE TABLE IF NOT EXISTS reg_keys(path TEXT PRIMARY KEY COLLATE NOCASE);"
    "CREATE TABLE IF NOT EXISTS reg_values(seq INTEGER PRIMARY KEY AUTOINCREMENT,"
    " key TEXT COLLATE NOCASE, name TEXT COLLATE NOCASE, type INTEGER, data BLOB,"
    " UNIQUE(key, name));"
    "CREATE TABLE IF NOT EXISTS printers(name TEXT PRIMARY KEY COLLATE NOCASE, port TEXT,"
    " status INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS jobs(id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " printer TEXT COLLATE NOCASE, document TEXT, user TEXT, machine TEXT,"
    " status INTEGER NOT NULL DEFAULT 0, status_text TEXT NOT NULL DEFAULT '',"
    " submitted INTEGER, owner_pid INTEGER NOT NULL DEFAULT 0, owner_start INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS windows(id INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT,"
    " pid INTEGER);"
    "CREATE TABLE IF NOT EXISTS messages(seq INTEGER PRIMARY KEY AUTOINCREMENT,"
    " window INTEGER, msg INTEGER, wparam INTEGER, lparam INTEGER);";
}  // namespace

std::recursive_mutex &DbMutex() {
    static std::recursive_mutex m;
    return m;
}

bool DbOpenAt(const std::string &dir, std::string *error) {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    if (g_db) {
        sqlite3_close_v2(g_db);
        g_db = nullptr;
    }
    std::string path = dir + "/qvlmr.db";
    if (sqlite3_open_v2(path.c_str(), &g_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        if (error) *error = "cannot open " + path + ": " + sqlite3_errmsg(g_db);
        sqlite3_close_v2(g_db);
        g_db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(g_db, 30000);
    char *msg = nullptr;
    if (sqlite3_exec(g_db, kSchema, nullptr, nullptr, &msg) != SQLITE_OK) {
        if (error) *error = std::string("cannot set up the database: ") + (msg ? msg : "?");
        sqlite3_free(msg);
        return false;
    }
    // A state directory from before jobs knew their printing process.
    if (sqlite3_exec(g_db, "SELECT owner_pid, owner_start FROM jobs LIMIT 0", nullptr, nullptr, nullptr) !=
        SQLITE_OK)
        sqlite3_exec(g_db,
                     "ALTER TABLE jobs ADD COLUMN owner_pid INTEGER NOT NULL DEFAULT 0;"
                     "ALTER TABLE jobs ADD COLUMN owner_start INTEGER NOT NULL DEFAULT 0;",
                     nullptr, nullptr, nullptr);
    return true;
}

sqlite3 *Db() {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    if (!g_db) {
        std::string error;
        if (!Open("", &error)) {
            fprintf(stderr, "qvlmr host: %s\n", error.c_str());
            _exit(2);
        }
    }
    return g_db;
}

Stmt::Stmt(const char *sql) {
    if (sqlite3_prepare_v2(Db(), sql, -1, &stmt_, nullptr) != SQLITE_OK) {
        fprintf(stderr, "qvlmr host: SQL error: %s\n", sqlite3_errmsg(Db()));
        stmt_ = nullptr;
    }
}
Stmt::~Stmt() {
    if (stmt_) sqlite3_finalize(stmt_);
}
Stmt &Stmt::Bind(int i, const std::string &text) {
    if (stmt_) sqlite3_bind_text(stmt_, i, text.data(), (int)text.size(), SQLITE_TRANSIENT);
    return *this;
}
Stmt &Stmt::Bind(int i, long long value) {
    if (stmt_) sqlite3_bind_int64(stmt_, i, value);
    return *this;
}
Stmt &Stmt::BindBlob(int i, const void *data, int size) {
    if (stmt_) sqlite3_bind_blob(stmt_, i, size ? data : "", size, SQLITE_TRANSIENT);
    return *this;
}
bool Stmt::Step() {
    return stmt_ && sqlite3_step(stmt_) == SQLITE_ROW;
}
// A call that reads and then writes does both in a Transaction, which takes the write lock
// first: a write that had to upgrade an open read's snapshot would fail at once once another
// process had written since. Every other wait for the lock is the busy time-out's.
bool Stmt::Run() {
    if (!stmt_) return false;
    int rc;
    while ((rc = sqlite3_step(stmt_)) == SQLITE_ROW) {
    }
    return rc == SQLITE_DONE;
}
long long Stmt::Int(int col) {
    return sqlite3_column_int64(stmt_, col);
}
std::string Stmt::Text(int col) {
    const unsigned char *t = sqlite3_column_text(stmt_, col);
    return t ? std::string((const char *)t, sqlite3_column_bytes(stmt_, col)) : std::string();
}
std::string Stmt::Blob(int col) {
    const void *b = sqlite3_column_blob(stmt_, col);
    return b ? std::string((const char *)b, sqlite3_column_bytes(stmt_, col)) : std::string();
}

Transaction::Transaction() {
    sqlite3_exec(Db(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
}
Transaction::~Transaction() {
    if (!done_) sqlite3_exec(Db(), "ROLLBACK", nullptr, nullptr, nullptr);
}
void Transaction::Commit() {
    sqlite3_exec(Db(), "COMMIT", nullptr, nullptr, nullptr);
    done_ = true;
}

}  // namespace qvhost
