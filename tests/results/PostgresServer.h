// A PostgreSQL 15 server of the test's own: a fresh cluster in a temporary folder, reached only
// through a Unix socket in that folder (no TCP), stopped and removed at the end.
#pragma once

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "ScratchDirectory.h"

namespace rastro::testing {

class PostgresServer {
 public:
  static constexpr const char* kPassword = "s3cret-pass";

  PostgresServer() {
    const std::string bin = BinDirectory();
    if (bin.empty()) {
      problem_ =
          "PostgreSQL 15's initdb and pg_ctl were not found (Debian: postgresql-15, which "
          "scripts/install-deps.sh installs)";
      return;
    }
    const std::filesystem::path dir = scratch_.Path();
    // The server refuses to run as root: then it runs as the postgres user of Debian's package.
    std::string as;
    if (geteuid() == 0) {
      const passwd* user = getpwnam("postgres");
      if (!user) {
        problem_ = "running as root, and there is no postgres user to run the server as";
        return;
      }
      if (chown(dir.c_str(), user->pw_uid, user->pw_gid) != 0) {
        problem_ = "cannot hand " + dir.string() + " to the postgres user";
        return;
      }
      as = "runuser -u postgres -- ";
    }
    scratch_.Write("password", kPassword);
    std::filesystem::permissions(dir / "password", std::filesystem::perms::all);
    const std::string log = (dir / "setup.log").string();         // written by this process's shell
    const std::string serverLog = (dir / "server.log").string();  // written by the server's user
    pgCtl_ = as + "'" + bin + "/pg_ctl' -D '" + (dir / "data").string() + "'";
    const std::string initdb = as + "'" + bin + "/initdb' -D '" + (dir / "data").string() +
                               "' -U rastro --auth=scram-sha-256 --pwfile='" + (dir / "password").string() +
                               "' -E UTF8 --locale=C --no-sync >> '" + log + "' 2>&1";
    const std::string start = pgCtl_ + " -w -l '" + serverLog + "' -o \"-k '" + dir.string() +
                              "' -c listen_addresses='' -c fsync=off\" start >> '" + log + "' 2>&1";
    if (std::system(initdb.c_str()) != 0 || std::system(start.c_str()) != 0) {
      problem_ = "the test's PostgreSQL server did not start: " + ReadFile(log) + ReadFile(serverLog);
      return;
    }
    running_ = true;
  }
  ~PostgresServer() {
    if (running_) std::system((pgCtl_ + " -m immediate -w stop > /dev/null 2>&1").c_str());
  }
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  // Empty when the server runs; otherwise why not.
  const std::string& Problem() const { return problem_; }

  std::string Url(const std::string& password = kPassword) const {
    return "postgresql:///postgres?host=" + scratch_.Path().string() + "&user=rastro&password=" + password;
  }

 private:
  static std::string BinDirectory() {
    for (const char* candidate : {"/usr/lib/postgresql/15/bin"}) {
      if (std::filesystem::exists(std::string(candidate) + "/initdb")) return candidate;
    }
    return {};
  }

  ScratchDirectory scratch_;
  std::string pgCtl_;
  std::string problem_;
  bool running_ = false;
};

}  // namespace rastro::testing
