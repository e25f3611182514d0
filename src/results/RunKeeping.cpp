#include "RunKeeping.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "RecordJson.h"
#include "ResultStore.h"

namespace rastro {

namespace {

namespace fs = std::filesystem;

std::string Where(const std::string& location) { return IsServerLocation(location) ? RedactedUrl(location) : location; }

// A spooled run: the record and the store it was meant for. Written whole or not at all.
bool Spool(const RunRecord& record, const std::string& destination, const std::string& reason,
           const std::string& directory, std::string& path, std::string& problem) {
  std::error_code error;
  fs::create_directories(directory, error);
  const fs::path final = fs::path(directory) / (record.uuid + ".json");
  const fs::path partial = fs::path(directory) / (record.uuid + ".json.partial");
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << nlohmann::json{{"destination", destination}, {"reason", reason}, {"record", ToJson(record)}}.dump();
    out.flush();
    if (!out) {
      problem = "cannot write " + partial.string();
      fs::remove(partial, error);
      return false;
    }
  }
  fs::rename(partial, final, error);
  if (error) {
    problem = "cannot write " + final.string() + ": " + error.message();
    fs::remove(partial, error);
    return false;
  }
  path = final.string();
  return true;
}

class Destinations {
 public:
  explicit Destinations(int busyTimeoutMs) : busyTimeoutMs_(busyTimeoutMs) {}
  // The open store, or null with `problem` set; a store that failed to open is not tried again.
  ResultStore* Open(const std::string& location, std::string& problem) {
    if (auto failed = problems_.find(location); failed != problems_.end()) {
      problem = failed->second;
      return nullptr;
    }
    auto& store = stores_[location];
    if (!store) {
      try {
        store = OpenStore(location, busyTimeoutMs_);
      } catch (const StoreError& error) {
        problems_[location] = problem = error.what();
        stores_.erase(location);
        return nullptr;
      }
    }
    return store.get();
  }

 private:
  int busyTimeoutMs_;
  std::map<std::string, std::unique_ptr<ResultStore>> stores_;
  std::map<std::string, std::string> problems_;
};

}  // namespace

std::string SpoolDirectoryFor(const std::string& localStore) {
  if (localStore.empty()) return {};
  return (fs::path(localStore).parent_path() / "not-sent").string();
}

KeepingOutcome KeepRun(const RunRecord& record, const KeepingPlaces& places) {
  KeepingOutcome outcome;
  std::string reason;
  try {
    const std::unique_ptr<ResultStore> store = OpenStore(places.store, places.busyTimeoutMs);
    const std::int64_t id = store->Add(record);
    outcome.stored = outcome.kept = true;
    outcome.message = "Run " + std::to_string(id) + " recorded in " + store->Describe() + "\n";
    return outcome;
  } catch (const StoreError& error) {
    reason = error.what();
  }
  outcome.message = "cannot record the run: " + reason + "\n";
  const std::string push = "`rastrometer results push" +
                           (places.store == places.localStore ? std::string() : " --store " + Where(places.store)) +
                           "` sends it";
  if (!places.localStore.empty() && places.localStore != places.store) {
    try {
      const std::unique_ptr<ResultStore> local = OpenStore(places.localStore, places.busyTimeoutMs);
      const std::int64_t id = local->Add(record);
      local->MarkNotSent(id, places.store, reason);
      outcome.kept = true;
      outcome.message +=
          "Run " + std::to_string(id) + " kept in " + local->Describe() + ", marked not sent; " + push + "\n";
      return outcome;
    } catch (const StoreError& error) {
      outcome.message += "cannot keep it in the local store either: " + std::string(error.what()) + "\n";
    }
  }
  std::string path;
  std::string problem;
  if (!places.spoolDirectory.empty() && Spool(record, places.store, reason, places.spoolDirectory, path, problem)) {
    outcome.kept = true;
    outcome.message += "Run kept as " + path + ", not sent; " + push + "\n";
  } else {
    outcome.message += "the run is kept in no store" + (problem.empty() ? "" : " (" + problem + ")") + "\n";
  }
  return outcome;
}

PushOutcome PushNotSent(const std::string& localStore, const std::string& spoolDirectory,
                        const std::string& destination, int busyTimeoutMs) {
  PushOutcome outcome;
  Destinations destinations(busyTimeoutMs);
  auto send = [&](const RunRecord& record, const std::string& meantFor) {
    const std::string target = destination.empty() ? meantFor : destination;
    std::string problem;
    ResultStore* store = destinations.Open(target, problem);
    if (store) {
      try {
        const std::int64_t id = store->Add(record);
        outcome.message +=
            "Run " + record.uuid + " sent to " + store->Describe() + " as run " + std::to_string(id) + "\n";
        ++outcome.sent;
        return true;
      } catch (const StoreError& error) {
        problem = error.what();
      }
    }
    outcome.message += "Run " + record.uuid + " not sent: " + problem + "\n";
    ++outcome.failed;
    return false;
  };

  std::error_code error;
  if (!localStore.empty() && fs::exists(localStore, error)) {
    std::string problem;
    ResultStore* local = destinations.Open(localStore, problem);
    if (!local) {
      outcome.message += "cannot read the local store: " + problem + "\n";
      ++outcome.failed;
    } else {
      for (const NotSentRun& pending : local->NotSent()) {
        const std::optional<RunRecord> record = local->Get(pending.id);
        if (record && send(*record, pending.destination)) local->ClearNotSent(pending.id);
      }
    }
  }
  if (!spoolDirectory.empty() && fs::is_directory(spoolDirectory, error)) {
    for (const fs::directory_entry& entry : fs::directory_iterator(spoolDirectory, error)) {
      if (entry.path().extension() != ".json") continue;
      try {
        std::ifstream in(entry.path(), std::ios::binary);
        const nlohmann::json spooled = nlohmann::json::parse(in);
        if (send(RecordFromJson(spooled.at("record")), spooled.at("destination").get<std::string>())) {
          fs::remove(entry.path(), error);
        }
      } catch (const std::exception& problem) {
        outcome.message += entry.path().string() + ": " + problem.what() + "\n";
        ++outcome.failed;
      }
    }
  }
  if (outcome.sent == 0 && outcome.failed == 0) outcome.message = "No runs wait to be sent.\n";
  return outcome;
}

}  // namespace rastro
