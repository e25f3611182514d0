#include "WholeFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace rastro::tex {

namespace {

// The signals that ask a process to end and that it may clean up after.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Sets a signal's action for as long as it lives. A handler is not put in place of an ignored
// signal: a process started to ignore hang-ups (nohup) goes on ignoring them.
class ScopedSignalAction {
 public:
  ScopedSignalAction(int signal, void (*handler)(int)) : signal_(signal) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (int ending : kEndingSignals) sigaddset(&action.sa_mask, ending);
    if (sigaction(signal, nullptr, &previous_) != 0) return;
    if (handler != SIG_IGN && previous_.sa_handler == SIG_IGN) return;
    installed_ = sigaction(signal, &action, nullptr) == 0;
  }
  ~ScopedSignalAction() {
    if (installed_) sigaction(signal_, &previous_, nullptr);
  }
  ScopedSignalAction(const ScopedSignalAction&) = delete;
  ScopedSignalAction& operator=(const ScopedSignalAction&) = delete;

 private:
  int signal_;
  bool installed_ = false;
  struct sigaction previous_ {};
};

// Holds the ending signals back while names change, so that a signal never finds a file half
// renamed; one that came meanwhile is delivered when the block goes.
class ScopedSignalBlock {
 public:
  ScopedSignalBlock() {
    sigset_t set;
    sigemptyset(&set);
    for (int ending : kEndingSignals) sigaddset(&set, ending);
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
  }
  ~ScopedSignalBlock() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  ScopedSignalBlock(const ScopedSignalBlock&) = delete;
  ScopedSignalBlock& operator=(const ScopedSignalBlock&) = delete;

 private:
  sigset_t previous_;
};

// The named temporary a handler removes, empty when there is none. Changed only while the
// ending signals are held back.
char namedTemporary[PATH_MAX + 8];

// Removes the temporary, then ends the process as the signal would have.
void RemoveTemporaryAndEnd(int signal) {
  if (namedTemporary[0]) unlink(namedTemporary);
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  // Blocked inside the handler: delivered, with its default action, as the handler returns.
  raise(signal);
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Like any new file: readable and writable by all, less what the umask takes away.
void GiveUsualMode(int descriptor) {
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(descriptor, 0666 & ~mask);
}

int WriteNamed(const std::string& path, const std::function<int(int)>& fill) {
  // One named temporary at a time: the signal handlers know only one, and conversions of
  // several files run on several threads.
  static std::mutex oneAtATime;
  const std::lock_guard<std::mutex> lock(oneAtATime);
  const std::string pattern = path + ".XXXXXX";
  if (pattern.size() >= sizeof namedTemporary) return ENAMETOOLONG;
  // In place before the temporary exists, and until it is gone or renamed.
  ScopedSignalAction interrupt(SIGINT, RemoveTemporaryAndEnd);
  ScopedSignalAction terminate(SIGTERM, RemoveTemporaryAndEnd);
  ScopedSignalAction hangUp(SIGHUP, RemoveTemporaryAndEnd);
  int descriptor = -1;
  {
    ScopedSignalBlock block;
    std::memcpy(namedTemporary, pattern.c_str(), pattern.size() + 1);
    descriptor = mkstemp(namedTemporary);
    if (descriptor < 0) {
      const int error = errno;
      namedTemporary[0] = '\0';
      return error;
    }
  }
  int error = fill(descriptor);
  GiveUsualMode(descriptor);
  if (close(descriptor) != 0 && !error) error = errno;
  ScopedSignalBlock block;
  if (!error && std::rename(namedTemporary, path.c_str()) != 0) error = errno;
  if (error) unlink(namedTemporary);
  namedTemporary[0] = '\0';
  return error;
}

// Gives the unnamed file open at `descriptor` the name `path`. A file already there is replaced
// through a second name, which exists only while the ending signals are held back.
int LinkUnnamed(int descriptor, const std::string& path) {
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", descriptor);
  ScopedSignalBlock block;
  if (linkat(AT_FDCWD, self, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  if (errno != EEXIST) return errno;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string second = path + ".XXXXXX";
    const int reserved = mkstemp(second.data());
    if (reserved < 0) return errno;
    close(reserved);
    unlink(second.c_str());
    if (linkat(AT_FDCWD, self, AT_FDCWD, second.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      if (errno == EEXIST) continue;
      return errno;
    }
    if (std::rename(second.c_str(), path.c_str()) != 0) {
      const int error = errno;
      unlink(second.c_str());
      return error;
    }
    return 0;
  }
  return EEXIST;
}

}  // namespace

int WriteWholeFile(const char* path, const std::function<int(int descriptor)>& fill, TemporaryKind kind) {
  // A file-size limit then fails the write (EFBIG) rather than ending the process.
  ScopedSignalAction ignoreSizeLimit(SIGXFSZ, SIG_IGN);
  const std::string target(path);
  if (kind == TemporaryKind::Unnamed) {
    const int descriptor = open(DirectoryOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (descriptor >= 0) {
      int error = fill(descriptor);
      if (!error) error = LinkUnnamed(descriptor, target);
      close(descriptor);
      // Without /proc the unnamed file cannot be named: written again under a name below.
      if (error != ENOENT) return error;
    }
  }
  return WriteNamed(target, fill);
}

}  // namespace rastro::tex
