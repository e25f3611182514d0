// Keeping a finished run: into the chosen store, or, when that cannot take it, into the local
// store marked "not sent" (or, when not even that works, as a JSON file beside it), so that
// `results push` can send it later. Nothing here ever fails the run itself.
#pragma once

#include <cstdio>
#include <string>

#include "RunRecord.h"

namespace rastro {

struct KeepingPlaces {
  std::string store;           // where the run should go: a SQLite path or a PostgreSQL URL
  std::string localStore;      // the machine's own store, for runs that could not be sent
  std::string spoolDirectory;  // JSON files of runs that not even the local store took
  int busyTimeoutMs = 10000;
};

struct KeepingOutcome {
  bool stored = false;  // in the store asked for
  bool kept = false;    // stored, or kept somewhere to be pushed later
  std::string message;  // one or more lines for the user
};

KeepingOutcome KeepRun(const RunRecord& record, const KeepingPlaces& places);

// Where unsent runs wait when even the local store fails: "<store's folder>/not-sent".
std::string SpoolDirectoryFor(const std::string& localStore);

struct PushOutcome {
  int sent = 0;
  int failed = 0;
  std::string message;
};

// Sends every run of `localStore` marked not sent, and every spooled JSON file, to `destination`
// (each marked run to the store it was meant for when `destination` is empty). A run that
// lands loses its mark (its spool file is removed); one that does not keeps it.
PushOutcome PushNotSent(const std::string& localStore, const std::string& spoolDirectory,
                        const std::string& destination, int busyTimeoutMs = 10000);

}  // namespace rastro
