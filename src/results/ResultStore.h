// Where run records are kept: a SQLite file on the machine, or a PostgreSQL database that a lab
// shares. Both hold the same schema, brought up to date by migrations when the store is opened;
// a store made by a newer Rastrometer is refused and left as it is.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "RunRecord.h"
#include "SqlConnection.h"

namespace rastro {

// The schema version this program writes; stores at a higher one are refused.
inline constexpr int kSchemaVersion = 2;

struct RunListing {
  std::int64_t id = 0;
  std::string startedUtc;
  std::string adapter;
  std::string renderer;
  std::string mode;  // ModeText
  unsigned runs = 0;
  std::string summary;
};

struct ListFilter {
  std::string adapter;    // part of the adapter's description or GL renderer, any case
  std::string since;      // "YYYY-MM-DD": runs started on or after that day (UTC)
  std::string until;      // "YYYY-MM-DD": runs started on or before that day
  std::size_t limit = 0;  // 0: all
};

struct NotSentRun {
  std::int64_t id = 0;
  std::string destination;
  std::string reason;
};

class ResultStore {
 public:
  // Opens and migrates; throws StoreError.
  explicit ResultStore(std::unique_ptr<SqlConnection> connection);

  // What the store is, for messages: "SQLite store /path" or "PostgreSQL store postgresql://...".
  std::string Describe() const;
  int SchemaVersion();

  // Keeps the run and returns its id. A run already held (same uuid) is not stored twice; its
  // id comes back.
  std::int64_t Add(const RunRecord& record);
  std::vector<RunListing> List(const ListFilter& filter);
  std::optional<RunRecord> Get(std::int64_t id);

  // Runs kept here that still have to reach another store.
  void MarkNotSent(std::int64_t id, const std::string& destination, const std::string& reason);
  std::vector<NotSentRun> NotSent();
  void ClearNotSent(std::int64_t id);

  SqlConnection& Connection() { return *connection_; }

 private:
  void Migrate();
  template <typename Work>
  auto InTransaction(Work work);

  std::unique_ptr<SqlConnection> connection_;
};

// A store from what --store names: a postgresql:// (or postgres://) URL, else a SQLite file path.
std::unique_ptr<ResultStore> OpenStore(const std::string& location, int busyTimeoutMs = 10000);
bool IsServerLocation(const std::string& location);

// $XDG_DATA_HOME/rastrometer/results.db, or ~/.local/share/rastrometer/results.db when it is
// unset or empty. Empty when neither variable gives a place.
std::string DefaultStorePath(const char* xdgDataHome, const char* home);

}  // namespace rastro
