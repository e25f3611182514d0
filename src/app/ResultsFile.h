// Results.txt: a header, then one line per test. Every group of writes opens the file,
// appends and closes it again, so a finished line is on disk even if the run is abandoned.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "d3d9.h"

namespace rastro {

// Receives a copy of everything written, for progress display.
class ResultsEcho {
 public:
  virtual ~ResultsEcho() = default;
  virtual void Written(const std::string& text) = 0;
};

class ResultsFile {
 public:
  // A file that cannot be written is reported once on `err`.
  explicit ResultsFile(std::filesystem::path path = "Results.txt", std::FILE* err = stderr)
      : path_(std::move(path)), err_(err) {}

  // Replaces any earlier file with the header.
  void WriteHeader(const D3DADAPTER_IDENTIFIER9& identifier, const D3DPRESENT_PARAMETERS& params);

  // One group of appended writes; the file is closed when the group ends.
  class Appender {
   public:
    ~Appender();
    Appender(Appender&& other) noexcept : owner_(other.owner_), file_(std::exchange(other.file_, nullptr)) {}
    Appender& operator=(Appender&&) = delete;
    void TestName(const char* name);
    void Failed();
    void Rate(double megapixelsPerSecond);

   private:
    friend class ResultsFile;
    Appender(ResultsFile& owner, std::FILE* file) : owner_(&owner), file_(file) {}
    void Write(const std::string& text);
    ResultsFile* owner_;
    std::FILE* file_;
  };
  Appender Append();

  void SetEcho(ResultsEcho* echo) { echo_ = echo; }
  // While discarding, writes reach only the echo: passes before the last of a repeated run.
  void SetDiscarding(bool discarding) { discarding_ = discarding; }
  const std::filesystem::path& Path() const { return path_; }
  // Whether every write so far reached the file.
  bool Intact() const { return problem_.empty(); }
  // Why the file is not intact ("No such file or directory"); empty while it is.
  const std::string& Problem() const { return problem_; }

 private:
  // A results file that cannot be opened or written does not stop the run; the user hears
  // about it once, and the run's end says so again.
  std::FILE* Open(const char* mode);
  void Emit(std::FILE* file, const std::string& text);
  // Closes `file`; data still buffered is written only now, so this can fail too.
  void Close(std::FILE* file);
  void NoteProblem(int error);

  std::filesystem::path path_;
  std::FILE* err_;
  ResultsEcho* echo_ = nullptr;
  std::string problem_;
  bool discarding_ = false;
};

// "%f" of the C library with the "C" locale's decimal point, whatever the process locale.
std::string FormatFixed(double value);

}  // namespace rastro
