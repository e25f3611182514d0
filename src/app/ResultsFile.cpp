#include "ResultsFile.h"

#include <locale.h>
#include <cerrno>
#include <cstring>

#include "FormatName.h"

namespace rastro {

namespace {

std::string Printf(const char* format, auto... values) {
  const int size = std::snprintf(nullptr, 0, format, values...);
  if (size <= 0) return {};
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, values...);
  text.resize(static_cast<std::size_t>(size));
  return text;
}

const std::string kRule = "--------------------------\n";

}  // namespace

std::string FormatFixed(double value) {
  // Formatting through a "C" locale object keeps the decimal point a point even when a
  // toolkit has switched the process locale.
  static locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", nullptr);
  locale_t previous = cLocale ? uselocale(cLocale) : nullptr;
  std::string text = Printf("%f", value);
  if (previous) uselocale(previous);
  return text;
}

void ResultsFile::NoteProblem(int error) {
  if (!problem_.empty()) return;
  problem_ = std::strerror(error);
  std::fprintf(err_, "rastrometer: cannot write %s: %s; the run goes on without it\n", path_.c_str(), problem_.c_str());
}

std::FILE* ResultsFile::Open(const char* mode) {
  if (discarding_) return nullptr;
  std::FILE* file = std::fopen(path_.c_str(), mode);
  if (!file) NoteProblem(errno);
  return file;
}

void ResultsFile::Emit(std::FILE* file, const std::string& text) {
  if (file && std::fwrite(text.data(), 1, text.size(), file) != text.size()) NoteProblem(errno);
  if (echo_) echo_->Written(text);
}

void ResultsFile::Close(std::FILE* file) {
  if (file && std::fclose(file) != 0) NoteProblem(errno);
}

void ResultsFile::WriteHeader(const D3DADAPTER_IDENTIFIER9& identifier, const D3DPRESENT_PARAMETERS& params) {
  std::FILE* file = Open("wt");
  const auto version = static_cast<std::uint64_t>(identifier.DriverVersion.QuadPart);
  const std::string description(identifier.Description, strnlen(identifier.Description, sizeof identifier.Description));
  std::string text = "Rastrometer\n" + kRule;
  text += "Display adapter: " + description + "\n";
  text += Printf("Driver version: %i.%i.%i.%i\n", static_cast<int>((version >> 48) & 0xFFFF),
                 static_cast<int>((version >> 32) & 0xFFFF), static_cast<int>((version >> 16) & 0xFFFF),
                 static_cast<int>(version & 0xFFFF));
  text += Printf("Display mode: %ix%i %s %iHz\n", static_cast<int>(params.BackBufferWidth),
                 static_cast<int>(params.BackBufferHeight), FormatName(params.BackBufferFormat),
                 static_cast<int>(params.FullScreen_RefreshRateInHz));
  text += Printf("Z-Buffer format: %s\n", FormatName(params.AutoDepthStencilFormat));
  text += kRule + "\n";
  Emit(file, text);
  Close(file);
}

ResultsFile::Appender ResultsFile::Append() { return Appender(*this, Open("at")); }

ResultsFile::Appender::~Appender() {
  if (file_) owner_->Close(file_);
}

void ResultsFile::Appender::Write(const std::string& text) { owner_->Emit(file_, text); }

void ResultsFile::Appender::TestName(const char* name) { Write(std::string(name) + " - "); }

void ResultsFile::Appender::Failed() { Write("Failed!\n"); }

void ResultsFile::Appender::Rate(double megapixelsPerSecond) {
  Write(FormatFixed(megapixelsPerSecond) + "M pixels/sec\n");
}

}  // namespace rastro
