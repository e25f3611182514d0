#include "ResultStore.h"

#include <bit>
#include <cctype>
#include <charconv>
#include <cstring>
#include <filesystem>

namespace rastro {

namespace {

// Each migration takes the schema from the version before it to its own; the first creates it.
// Written once for both databases: {id}, {int}, {real} and {blob} stand for each one's types.
const char* const kMigrations[] = {
    // 1: runs, their tests, and every pass of every test with its frame rates.
    R"(CREATE TABLE runs (
         id {id},
         uuid TEXT NOT NULL UNIQUE,
         program_version TEXT NOT NULL,
         started_utc TEXT NOT NULL,
         adapter_index {int} NOT NULL,
         width {int} NOT NULL,
         height {int} NOT NULL,
         refresh_rate {int} NOT NULL,
         back_buffer_format TEXT NOT NULL,
         depth_format TEXT NOT NULL,
         seconds {real} NOT NULL,
         runs {int} NOT NULL,
         adapter_description TEXT NOT NULL,
         driver TEXT NOT NULL,
         driver_version TEXT NOT NULL,
         vendor_id {int} NOT NULL,
         device_id {int} NOT NULL,
         gl_vendor TEXT NOT NULL,
         gl_renderer TEXT NOT NULL,
         gl_version TEXT NOT NULL,
         cpu_model TEXT NOT NULL,
         cores {int} NOT NULL,
         memory_bytes {int} NOT NULL,
         kernel TEXT NOT NULL,
         distribution TEXT NOT NULL,
         data_directory TEXT NOT NULL,
         summary TEXT NOT NULL);
       CREATE TABLE tests (
         run_id {int} NOT NULL REFERENCES runs(id) ON DELETE CASCADE,
         position {int} NOT NULL,
         name TEXT NOT NULL,
         pixel_factor {int} NOT NULL,
         status TEXT NOT NULL,
         failure_reason TEXT NOT NULL,
         PRIMARY KEY (run_id, position));
       CREATE TABLE passes (
         run_id {int} NOT NULL,
         position {int} NOT NULL,
         pass {int} NOT NULL,
         rate {real} NOT NULL,
         frame_rates {blob} NOT NULL,
         PRIMARY KEY (run_id, position, pass),
         FOREIGN KEY (run_id, position) REFERENCES tests(run_id, position) ON DELETE CASCADE);)",
    // 2: runs kept here until they reach the store they were meant for; listing by date.
    R"(CREATE TABLE not_sent (
         run_id {int} PRIMARY KEY REFERENCES runs(id) ON DELETE CASCADE,
         destination TEXT NOT NULL,
         reason TEXT NOT NULL);
       CREATE INDEX runs_by_start ON runs(started_utc, id);)",
};
static_assert(std::size(kMigrations) == kSchemaVersion);

std::string ForDialect(std::string sql, SqlConnection::Dialect dialect) {
  const bool sqlite = dialect == SqlConnection::Dialect::kSqlite;
  const std::pair<const char*, const char*> words[] = {
      {"{id}", sqlite ? "INTEGER PRIMARY KEY AUTOINCREMENT" : "BIGSERIAL PRIMARY KEY"},
      {"{int}", sqlite ? "INTEGER" : "BIGINT"},
      {"{real}", sqlite ? "REAL" : "DOUBLE PRECISION"},
      {"{blob}", sqlite ? "BLOB" : "BYTEA"},
  };
  for (const auto& [token, word] : words) {
    for (std::size_t at = sql.find(token); at != std::string::npos; at = sql.find(token, at)) {
      sql.replace(at, std::strlen(token), word);
    }
  }
  return sql;
}

std::int64_t ToInteger(const std::optional<std::string>& text) {
  std::int64_t value = 0;
  if (text) std::from_chars(text->data(), text->data() + text->size(), value);
  return value;
}

double ToReal(const std::optional<std::string>& text) {
  double value = 0;
  if (text) std::from_chars(text->data(), text->data() + text->size(), value);
  return value;
}

unsigned ToUnsigned(const std::optional<std::string>& text) { return static_cast<unsigned>(ToInteger(text)); }

const std::string& ToText(const std::optional<std::string>& text) {
  static const std::string empty;
  return text ? *text : empty;
}

// Frame rates as little-endian IEEE doubles, whatever the host's byte order.
SqlBlob PackRates(const std::vector<double>& rates) {
  SqlBlob blob;
  blob.bytes.resize(rates.size() * sizeof(double));
  for (std::size_t i = 0; i < rates.size(); ++i) {
    auto bits = std::bit_cast<std::uint64_t>(rates[i]);
    for (std::size_t b = 0; b < 8; ++b) blob.bytes[i * 8 + b] = static_cast<char>((bits >> (8 * b)) & 0xFF);
  }
  return blob;
}

std::vector<double> UnpackRates(const std::string& bytes) {
  std::vector<double> rates(bytes.size() / 8);
  for (std::size_t i = 0; i < rates.size(); ++i) {
    std::uint64_t bits = 0;
    for (std::size_t b = 0; b < 8; ++b) bits |= std::uint64_t{static_cast<unsigned char>(bytes[i * 8 + b])} << (8 * b);
    rates[i] = std::bit_cast<double>(bits);
  }
  return rates;
}

std::string LikePattern(const std::string& text) {
  std::string pattern = "%";
  for (char c : text) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return pattern + "%";
}

}  // namespace

template <typename Work>
auto ResultStore::InTransaction(Work work) {
  connection_->BeginWrite();
  try {
    auto result = work();
    connection_->Script("COMMIT");
    return result;
  } catch (...) {
    try {
      connection_->Script("ROLLBACK");
    } catch (const StoreError&) {
      // The transaction is gone already (a failed COMMIT ends it); the first error is the one to tell.
    }
    throw;
  }
}

ResultStore::ResultStore(std::unique_ptr<SqlConnection> connection) : connection_(std::move(connection)) {
  try {
    Migrate();
  } catch (const StoreError& error) {
    throw StoreError(Describe() + ": " + error.what());
  }
}

std::string ResultStore::Describe() const {
  return (connection_->Kind() == SqlConnection::Dialect::kSqlite ? "SQLite store " : "PostgreSQL store ") +
         connection_->Where();
}

int ResultStore::SchemaVersion() {
  if (!connection_->HasTable("rastro_schema")) return 0;
  const auto rows = connection_->Query("SELECT max(version) FROM rastro_schema");
  return rows.empty() ? 0 : static_cast<int>(ToInteger(rows[0][0]));
}

void ResultStore::Migrate() {
  const SqlConnection::Dialect dialect = connection_->Kind();
  // Only read until the store is known to be ours and not newer: a refused store is not touched.
  const int found = SchemaVersion();
  if (found > kSchemaVersion) {
    throw StoreError("made by a newer Rastrometer (schema version " + std::to_string(found) +
                     "; this one knows up to " + std::to_string(kSchemaVersion) +
                     "); it is left as it is: use a newer rastrometer or another store");
  }
  // Another program creating the store at this moment has made its tables and its version in
  // one transaction; the version is read once more before the tables are called foreign.
  if (found == 0 && !connection_->Empty() && SchemaVersion() == 0) {
    throw StoreError("holds other tables and no Rastrometer schema; it is left as it is");
  }
  if (dialect == SqlConnection::Dialect::kSqlite) {
    // Two runs may record at once: readers never block the writer, and a writer waits its turn.
    connection_->Script("PRAGMA journal_mode = WAL; PRAGMA foreign_keys = ON;");
  }
  if (found == kSchemaVersion) return;
  InTransaction([&] {
    if (dialect == SqlConnection::Dialect::kPostgres) {
      // Machines of a lab that open a new store together migrate it once.
      connection_->Script("SELECT pg_advisory_xact_lock(7261524)");
    }
    connection_->Script("CREATE TABLE IF NOT EXISTS rastro_schema (version INTEGER NOT NULL)");
    for (int version = SchemaVersion(); version < kSchemaVersion; ++version) {
      connection_->Script(ForDialect(kMigrations[version], dialect));
      const SqlValue next = std::int64_t{version + 1};
      connection_->Query("INSERT INTO rastro_schema (version) VALUES (?)", {&next, 1});
    }
    return 0;
  });
}

std::int64_t ResultStore::Add(const RunRecord& record) {
  return InTransaction([&] {
    const SqlValue uuid = record.uuid;
    if (const auto held = connection_->Query("SELECT id FROM runs WHERE uuid = ?", {&uuid, 1}); !held.empty()) {
      return ToInteger(held[0][0]);
    }
    const RunSettingsRecord& s = record.settings;
    const AdapterRecord& a = record.adapter;
    const MachineRecord& m = record.machine;
    using I = std::int64_t;
    const std::vector<SqlValue> run{record.uuid,
                                    record.programVersion,
                                    record.startedUtc,
                                    I{s.adapter},
                                    I{s.width},
                                    I{s.height},
                                    I{s.refreshRate},
                                    s.backBufferFormat,
                                    s.depthFormat,
                                    s.seconds,
                                    I{s.runs},
                                    a.description,
                                    a.driver,
                                    a.driverVersion,
                                    I{a.vendorId},
                                    I{a.deviceId},
                                    a.glVendor,
                                    a.glRenderer,
                                    a.glVersion,
                                    m.cpuModel,
                                    I{m.cores},
                                    static_cast<I>(m.memoryBytes),
                                    m.kernel,
                                    m.distribution,
                                    record.dataDirectory,
                                    RunSummary(record)};
    const auto inserted = connection_->Query(
        "INSERT INTO runs (uuid, program_version, started_utc, adapter_index, width, height, refresh_rate, "
        "back_buffer_format, depth_format, seconds, runs, adapter_description, driver, driver_version, vendor_id, "
        "device_id, gl_vendor, gl_renderer, gl_version, cpu_model, cores, memory_bytes, kernel, distribution, "
        "data_directory, summary) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
        "?) RETURNING id",
        run);
    const std::int64_t id = ToInteger(inserted.at(0)[0]);
    for (std::size_t position = 0; position < record.tests.size(); ++position) {
      const TestRecord& test = record.tests[position];
      const std::vector<SqlValue> row{id,
                                      I(position),
                                      test.name,
                                      I{test.pixelFactor},
                                      std::string(TestStatusName(test.status)),
                                      test.failureReason};
      connection_->Query(
          "INSERT INTO tests (run_id, position, name, pixel_factor, status, failure_reason) VALUES (?, ?, ?, ?, ?, ?)",
          row);
      for (std::size_t pass = 0; pass < test.passRates.size(); ++pass) {
        const std::vector<double> none;
        const std::vector<double>& frames = pass < test.frameRates.size() ? test.frameRates[pass] : none;
        const std::vector<SqlValue> passRow{id, I(position), I(pass), test.passRates[pass], PackRates(frames)};
        connection_->Query("INSERT INTO passes (run_id, position, pass, rate, frame_rates) VALUES (?, ?, ?, ?, ?)",
                           passRow);
      }
    }
    return id;
  });
}

std::vector<RunListing> ResultStore::List(const ListFilter& filter) {
  std::string sql =
      "SELECT id, started_utc, adapter_description, gl_renderer, width, height, back_buffer_format, depth_format, "
      "refresh_rate, runs, summary FROM runs WHERE 1 = 1";
  std::vector<SqlValue> parameters;
  if (!filter.adapter.empty()) {
    sql += " AND (lower(adapter_description) LIKE ? ESCAPE '\\' OR lower(gl_renderer) LIKE ? ESCAPE '\\')";
    parameters.emplace_back(LikePattern(filter.adapter));
    parameters.emplace_back(LikePattern(filter.adapter));
  }
  if (!filter.since.empty()) {
    sql += " AND started_utc >= ?";
    parameters.emplace_back(filter.since);
  }
  if (!filter.until.empty()) {
    sql += " AND started_utc <= ?";
    parameters.emplace_back(filter.until + "T99");  // every time of that day sorts below
  }
  sql += " ORDER BY started_utc DESC, id DESC";
  if (filter.limit > 0) {
    sql += " LIMIT ?";
    parameters.emplace_back(static_cast<std::int64_t>(filter.limit));
  }
  std::vector<RunListing> listings;
  for (const SqlRow& row : connection_->Query(sql, parameters)) {
    RunListing listing;
    listing.id = ToInteger(row[0]);
    listing.startedUtc = ToText(row[1]);
    listing.adapter = ToText(row[2]);
    listing.renderer = ToText(row[3]);
    RunSettingsRecord settings;
    settings.width = ToUnsigned(row[4]);
    settings.height = ToUnsigned(row[5]);
    settings.backBufferFormat = ToText(row[6]);
    settings.depthFormat = ToText(row[7]);
    settings.refreshRate = ToUnsigned(row[8]);
    listing.mode = ModeText(settings);
    listing.runs = ToUnsigned(row[9]);
    listing.summary = ToText(row[10]);
    listings.push_back(std::move(listing));
  }
  return listings;
}

std::optional<RunRecord> ResultStore::Get(std::int64_t id) {
  const SqlValue key = id;
  const auto runs = connection_->Query(
      "SELECT uuid, program_version, started_utc, adapter_index, width, height, refresh_rate, back_buffer_format, "
      "depth_format, seconds, runs, adapter_description, driver, driver_version, vendor_id, device_id, gl_vendor, "
      "gl_renderer, gl_version, cpu_model, cores, memory_bytes, kernel, distribution, data_directory FROM runs "
      "WHERE id = ?",
      {&key, 1});
  if (runs.empty()) return std::nullopt;
  const SqlRow& r = runs[0];
  RunRecord record;
  record.id = id;
  record.uuid = ToText(r[0]);
  record.programVersion = ToText(r[1]);
  record.startedUtc = ToText(r[2]);
  record.settings = {ToUnsigned(r[3]), ToUnsigned(r[4]), ToUnsigned(r[5]), ToUnsigned(r[6]),
                     ToText(r[7]),     ToText(r[8]),     ToReal(r[9]),     ToUnsigned(r[10])};
  record.adapter = {ToText(r[11]),     ToText(r[12]), ToText(r[13]), ToUnsigned(r[14]),
                    ToUnsigned(r[15]), ToText(r[16]), ToText(r[17]), ToText(r[18])};
  record.machine = {ToText(r[19]), ToUnsigned(r[20]), static_cast<std::uint64_t>(ToInteger(r[21])), ToText(r[22]),
                    ToText(r[23])};
  record.dataDirectory = ToText(r[24]);
  for (const SqlRow& t : connection_->Query(
           "SELECT name, pixel_factor, status, failure_reason FROM tests WHERE run_id = ? ORDER BY position",
           {&key, 1})) {
    TestRecord test;
    test.name = ToText(t[0]);
    test.pixelFactor = ToUnsigned(t[1]);
    if (!ParseTestStatus(ToText(t[2]), test.status)) throw StoreError(Describe() + ": unknown test status");
    test.failureReason = ToText(t[3]);
    record.tests.push_back(std::move(test));
  }
  for (const SqlRow& p : connection_->Query(
           "SELECT position, rate, frame_rates FROM passes WHERE run_id = ? ORDER BY position, pass", {&key, 1})) {
    const auto position = static_cast<std::size_t>(ToInteger(p[0]));
    if (position >= record.tests.size()) throw StoreError(Describe() + ": a pass of a test that is not there");
    record.tests[position].passRates.push_back(ToReal(p[1]));
    record.tests[position].frameRates.push_back(UnpackRates(ToText(p[2])));
  }
  return record;
}

void ResultStore::MarkNotSent(std::int64_t id, const std::string& destination, const std::string& reason) {
  const std::vector<SqlValue> row{id, destination, reason};
  InTransaction([&] {
    const SqlValue key = id;
    connection_->Query("DELETE FROM not_sent WHERE run_id = ?", {&key, 1});
    connection_->Query("INSERT INTO not_sent (run_id, destination, reason) VALUES (?, ?, ?)", row);
    return 0;
  });
}

std::vector<NotSentRun> ResultStore::NotSent() {
  std::vector<NotSentRun> runs;
  for (const SqlRow& row : connection_->Query("SELECT run_id, destination, reason FROM not_sent ORDER BY run_id")) {
    runs.push_back({ToInteger(row[0]), ToText(row[1]), ToText(row[2])});
  }
  return runs;
}

void ResultStore::ClearNotSent(std::int64_t id) {
  const SqlValue key = id;
  connection_->Query("DELETE FROM not_sent WHERE run_id = ?", {&key, 1});
}

bool IsServerLocation(const std::string& location) {
  return location.starts_with("postgresql://") || location.starts_with("postgres://");
}

std::unique_ptr<ResultStore> OpenStore(const std::string& location, int busyTimeoutMs) {
  if (IsServerLocation(location)) {
    std::unique_ptr<SqlConnection> connection;
    try {
      connection = OpenPostgres(location);
    } catch (const StoreError& error) {
      throw StoreError("PostgreSQL store " + RedactedUrl(location) + ": " + error.what());
    }
    return std::make_unique<ResultStore>(std::move(connection));
  }
  std::error_code ignored;
  const std::filesystem::path path(location);
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ignored);
  std::unique_ptr<SqlConnection> connection;
  try {
    connection = OpenSqlite(location, busyTimeoutMs);
  } catch (const StoreError& error) {
    throw StoreError("SQLite store " + location + ": " + error.what());
  }
  return std::make_unique<ResultStore>(std::move(connection));
}

std::string DefaultStorePath(const char* xdgDataHome, const char* home) {
  std::filesystem::path base;
  // A relative XDG_DATA_HOME is invalid and ignored, as the base-directory rules say.
  if (xdgDataHome && *xdgDataHome == '/') {
    base = xdgDataHome;
  } else if (home && *home) {
    base = std::filesystem::path(home) / ".local" / "share";
  } else {
    return {};
  }
  return (base / "rastrometer" / "results.db").string();
}

}  // namespace rastro
