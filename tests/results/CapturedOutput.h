// A stream that a command under test writes to, read back as text between commands.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

namespace rastro::testing {

class CapturedOutput {
 public:
  CapturedOutput() = default;
  ~CapturedOutput() { std::fclose(file_); }
  CapturedOutput(const CapturedOutput&) = delete;
  CapturedOutput& operator=(const CapturedOutput&) = delete;

  std::FILE* File() const { return file_; }

  // Forgets what was written so far.
  void Clear() const {
    std::fflush(file_);
    if (ftruncate(fileno(file_), 0) != 0) return;
    std::rewind(file_);
  }

  std::string Text() const {
    std::fflush(file_);
    std::rewind(file_);
    std::string text;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file_)) > 0;) text.append(buffer, got);
    return text;
  }

 private:
  std::FILE* file_ = std::tmpfile();
};

}  // namespace rastro::testing
