// The output file of rastro-tex appears whole or not at all: written in a child process that
// fails, is stopped by a signal or runs into a file-size limit halfway through its bytes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "ScratchDirectory.h"
#include "WholeFile.h"

namespace rastro::testing {
namespace {

namespace fs = std::filesystem;
using tex::TemporaryKind;
using tex::WriteWholeFile;

enum class Event { None, FillFails, Signal, SizeLimit };

struct WholeFileCase {
  const char* name;
  TemporaryKind kind;
  Event event;
  int signal = 0;
};

// What the child reports through its exit status when it is not ended by a signal.
constexpr int kChildWroteWhole = 10;
constexpr int kChildFailedWithTheError = 11;
constexpr int kChildWentWrong = 12;

// A file-size limit lets a write through up to the limit; the next one fails.
int WriteChunk(int descriptor, const std::string& chunk) {
  for (std::size_t written = 0; written < chunk.size();) {
    const ssize_t step = write(descriptor, chunk.data() + written, chunk.size() - written);
    if (step <= 0) return step < 0 ? errno : EIO;
    written += static_cast<std::size_t>(step);
  }
  return 0;
}

// Runs in the child: writes two chunks of 4 KiB with `c.event` between them.
[[noreturn]] void WriteInChild(const WholeFileCase& c, const fs::path& target) {
  const std::string chunk(4096, 'n');
  // As in a process started from a terminal, whatever the test runner left ignored.
  for (int ending : {SIGINT, SIGTERM, SIGHUP}) signal(ending, SIG_DFL);
  if (c.event == Event::SizeLimit) {
    const rlimit limit{6000, 6000};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(kChildWentWrong);
  }
  const int result = WriteWholeFile(
      target.c_str(),
      [&](int descriptor) {
        if (int error = WriteChunk(descriptor, chunk)) return error;
        if (c.event == Event::FillFails) return EIO;
        if (c.event == Event::Signal) raise(c.signal);
        return WriteChunk(descriptor, chunk);
      },
      c.kind);
  if (c.event == Event::None) _exit(result == 0 ? kChildWroteWhole : kChildWentWrong);
  const int expected = c.event == Event::FillFails ? EIO : EFBIG;
  _exit(result == expected ? kChildFailedWithTheError : kChildWentWrong);
}

class WholeFile : public ::testing::TestWithParam<WholeFileCase> {};

TEST_P(WholeFile, AppearsWholeOrNotAtAll) {
  const WholeFileCase& c = GetParam();
  ScratchDirectory directory;
  const fs::path target = directory.Write("out.dds", "old contents");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) WriteInChild(c, target);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);

  if (c.event == Event::Signal) {
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), c.signal);
  } else {
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), c.event == Event::None ? kChildWroteWhole : kChildFailedWithTheError);
  }
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory.Path())) names.push_back(entry.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"out.dds"});
  EXPECT_EQ(ReadFile(target), c.event == Event::None ? std::string(8192, 'n') : "old contents");
}

INSTANTIATE_TEST_SUITE_P(
    Events, WholeFile,
    ::testing::Values(WholeFileCase{"Unnamed", TemporaryKind::Unnamed, Event::None},
                      WholeFileCase{"UnnamedFillFails", TemporaryKind::Unnamed, Event::FillFails},
                      WholeFileCase{"UnnamedTerminated", TemporaryKind::Unnamed, Event::Signal, SIGTERM},
                      WholeFileCase{"UnnamedInterrupted", TemporaryKind::Unnamed, Event::Signal, SIGINT},
                      WholeFileCase{"UnnamedSizeLimit", TemporaryKind::Unnamed, Event::SizeLimit},
                      WholeFileCase{"Named", TemporaryKind::Named, Event::None},
                      WholeFileCase{"NamedFillFails", TemporaryKind::Named, Event::FillFails},
                      WholeFileCase{"NamedTerminated", TemporaryKind::Named, Event::Signal, SIGTERM},
                      WholeFileCase{"NamedInterrupted", TemporaryKind::Named, Event::Signal, SIGINT},
                      WholeFileCase{"NamedHungUp", TemporaryKind::Named, Event::Signal, SIGHUP},
                      WholeFileCase{"NamedSizeLimit", TemporaryKind::Named, Event::SizeLimit}),
    [](const ::testing::TestParamInfo<WholeFileCase>& param) { return std::string(param.param.name); });

TEST(WholeFile, AFileWithoutAnOldOneAndTheModeOfAnyNewFile) {
  ScratchDirectory directory;
  for (TemporaryKind kind : {TemporaryKind::Unnamed, TemporaryKind::Named}) {
    const fs::path target = directory.Path() / (kind == TemporaryKind::Unnamed ? "unnamed.dds" : "named.dds");
    const mode_t mask = umask(027);
    EXPECT_EQ(WriteWholeFile(
                  target.c_str(), [](int descriptor) { return WriteChunk(descriptor, "new"); }, kind),
              0);
    umask(mask);
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  }
  EXPECT_EQ(WriteWholeFile((directory.Path() / "missing" / "out.dds").c_str(), [](int) { return 0; }), ENOENT);
  EXPECT_EQ(std::distance(fs::directory_iterator(directory.Path()), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace rastro::testing
