// The shared SQLite database of the state directory: registry, spooler and windows.
#ifndef QVLMR_HOST_DB_H
#define QVLMR_HOST_DB_H

#include <sqlite3.h>

#include <mutex>
#include <string>

namespace qvhost {

// One connection per process, used under DbMutex(); each call is its own transaction.
std::recursive_mutex &DbMutex();
sqlite3 *Db();  // opens the default state directory on first use
bool DbOpenAt(const std::string &dir, std::string *error);

// A prepared statement bound by position; finalized on scope exit.
class Stmt {
  public:
    Stmt(const char *sql);
    ~Stmt();
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;
    Stmt &Bind(int i, const std::string &text);
    Stmt &Bind(int i, long long value);
    Stmt &BindBlob(int i, const void *data, int size);
    bool Step();  // true while a row is available
    bool Run();   // runs to completion; false on error
    long long Int(int col);
    std::string Text(int col);
    std::string Blob(int col);
    bool ok() const { return stmt_ != nullptr; }

  private:
    sqlite3_stmt *stmt_ = nullptr;
};

// BEGIN IMMEDIATE ... COMMIT (or ROLLBACK when not committed).
class Transaction {
  public:
    Transaction();
    ~Transaction();
    void Commit();

  private:
    bool done_ = false;
};

}  // namespace qvhost

#endif
