#include <sqlite3.h>

#include <cstring>

#include "SqlConnection.h"

namespace rastro {

namespace {

struct StatementCloser {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

class SqliteConnection final : public SqlConnection {
 public:
  SqliteConnection(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
  ~SqliteConnection() override { sqlite3_close_v2(db_); }

  Dialect Kind() const override { return Dialect::kSqlite; }
  std::string Where() const override { return path_; }

  bool HasTable(const std::string& name) override {
    const SqlValue parameter = name;
    return Query("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?", {&parameter, 1})[0][0] != "0";
  }
  bool Empty() override { return Query("SELECT count(*) FROM sqlite_master", {})[0][0] == "0"; }
  void BeginWrite() override { Script("BEGIN IMMEDIATE"); }

  void Script(const std::string& sql) override {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      const std::string text = message ? message : sqlite3_errmsg(db_);
      sqlite3_free(message);
      Fail(text);
    }
  }

  std::vector<SqlRow> Query(const std::string& sql, std::span<const SqlValue> parameters) override {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr) != SQLITE_OK) Fail();
    std::unique_ptr<sqlite3_stmt, StatementCloser> statement(raw);
    for (std::size_t i = 0; i < parameters.size(); ++i) Bind(raw, static_cast<int>(i) + 1, parameters[i]);
    std::vector<SqlRow> rows;
    for (;;) {
      const int step = sqlite3_step(raw);
      if (step == SQLITE_DONE) break;
      if (step != SQLITE_ROW) Fail();
      SqlRow row;
      const int columns = sqlite3_column_count(raw);
      for (int c = 0; c < columns; ++c) row.push_back(Column(raw, c));
      rows.push_back(std::move(row));
    }
    return rows;
  }

 private:
  // SQLite says "disk I/O error" for a full disk, a file-size limit and a failing device alike;
  // the system's own word, where it is still there, tells the user which.
  [[noreturn]] void Fail(std::string message = {}) const {
    if (message.empty()) message = sqlite3_errmsg(db_);
    const int code = sqlite3_extended_errcode(db_);
    if (const int error = sqlite3_system_errno(db_); error != 0) {
      message += std::string(" (") + std::strerror(error) + ")";
    } else if (code == SQLITE_FULL || code == SQLITE_IOERR_WRITE || code == SQLITE_IOERR_FSYNC) {
      message += " (the disk is full, a file-size limit was reached or the device failed)";
    }
    throw StoreError(message);
  }

  void Bind(sqlite3_stmt* statement, int index, const SqlValue& value) const {
    int result = SQLITE_OK;
    if (const auto* integer = std::get_if<std::int64_t>(&value)) {
      result = sqlite3_bind_int64(statement, index, *integer);
    } else if (const auto* real = std::get_if<double>(&value)) {
      result = sqlite3_bind_double(statement, index, *real);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      result = sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
    } else if (const auto* blob = std::get_if<SqlBlob>(&value)) {
      result = sqlite3_bind_blob(statement, index, blob->bytes.data(), static_cast<int>(blob->bytes.size()),
                                 SQLITE_TRANSIENT);
    } else {
      result = sqlite3_bind_null(statement, index);
    }
    if (result != SQLITE_OK) Fail();
  }

  static std::optional<std::string> Column(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
      case SQLITE_NULL: return std::nullopt;
      case SQLITE_INTEGER: return ExactText(sqlite3_column_int64(statement, column));
      // SQLite's own text of a real keeps 15 digits; the shortest exact form loses nothing.
      case SQLITE_FLOAT: return ExactText(sqlite3_column_double(statement, column));
      default: {
        const void* bytes = sqlite3_column_blob(statement, column);
        const int size = sqlite3_column_bytes(statement, column);
        return bytes ? std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size)) : std::string();
      }
    }
  }

  sqlite3* db_;
  std::string path_;
};

}  // namespace

std::unique_ptr<SqlConnection> OpenSqlite(const std::string& path, int busyTimeoutMs) {
  sqlite3* db = nullptr;
  const int opened = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (opened != SQLITE_OK) {
    const std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(opened);
    sqlite3_close_v2(db);
    throw StoreError(message);
  }
  sqlite3_busy_timeout(db, busyTimeoutMs);
  // Each commit is synced to the write-ahead log already; copying the log into the database at
  // every close would cost a run's recording several more syncs. SQLite copies it once the log
  // has grown (every thousand pages), and readers see every commit either way.
  sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_extended_result_codes(db, 1);
  return std::make_unique<SqliteConnection>(db, path);
}

}  // namespace rastro
