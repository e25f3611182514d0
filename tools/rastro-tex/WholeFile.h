// Writing an output file so that it appears whole or not at all, even when the process is
// stopped by a signal halfway.
#pragma once

#include <functional>

namespace rastro::tex {

enum class TemporaryKind {
  Unnamed,  // an unnamed file in the target's directory, where the file system has them
  Named,    // always a named temporary beside the target
};

// Calls `fill` with a descriptor open for writing (it returns 0 or an errno value) and then
// gives what it wrote the name `path`, replacing any file there. The bytes go first to an
// unnamed file (O_TMPFILE) that the system discards if the process dies, named only once
// complete; where the file system has none, to a named temporary beside `path` that SIGINT,
// SIGTERM and SIGHUP remove before they end the process. While `fill` runs, writing past a
// file-size limit fails with EFBIG instead of killing the process. Returns 0 or the errno of
// the first failure, after which nothing new is left behind and an old file at `path` is
// untouched.
int WriteWholeFile(const char* path, const std::function<int(int descriptor)>& fill,
                   TemporaryKind kind = TemporaryKind::Unnamed);

}  // namespace rastro::tex
