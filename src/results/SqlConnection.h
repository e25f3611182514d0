// The narrow database interface the results store is written against: statements with `?`
// placeholders, rows of text. SQLite and PostgreSQL each implement it.
#pragma once

#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace rastro {

// Why a store could not be opened, read or written; the message is meant for the user.
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SqlBlob {
  std::string bytes;
};

using SqlValue = std::variant<std::monostate, std::int64_t, double, std::string, SqlBlob>;

// Every column as text (numbers written exactly, blobs as their raw bytes); NULL is nullopt.
using SqlRow = std::vector<std::optional<std::string>>;

class SqlConnection {
 public:
  enum class Dialect { kSqlite, kPostgres };

  virtual ~SqlConnection() = default;
  virtual Dialect Kind() const = 0;
  // What the connection reaches, without secrets, for messages.
  virtual std::string Where() const = 0;
  virtual bool HasTable(const std::string& name) = 0;
  // Whether the database holds any table at all.
  virtual bool Empty() = 0;
  // Starts a transaction that will write, taking the write lock at once where there is one.
  virtual void BeginWrite() = 0;
  // Runs one or more statements without parameters or results.
  virtual void Script(const std::string& sql) = 0;
  virtual std::vector<SqlRow> Query(const std::string& sql, std::span<const SqlValue> parameters = {}) = 0;
};

// `busyTimeoutMs`: how long a writer waits for another one before giving up.
std::unique_ptr<SqlConnection> OpenSqlite(const std::string& path, int busyTimeoutMs);
std::unique_ptr<SqlConnection> OpenPostgres(const std::string& url);

// The shortest text that reads back as the same number (no locale, no lost digits).
template <typename Number>
std::string ExactText(Number value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// The URL with any password replaced by "***".
std::string RedactedUrl(const std::string& url);

}  // namespace rastro
