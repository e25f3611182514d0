#include "StringFormat.h"

#include <cstdio>

namespace rastro {

namespace {

void AppendFormatV(std::string& out, const char* format, va_list arguments) {
  // Measured first, then written straight into the string's own storage.
  va_list measuring;
  va_copy(measuring, arguments);
  int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  if (length <= 0) return;
  size_t start = out.size();
  out.resize(start + static_cast<size_t>(length) + 1);
  std::vsnprintf(out.data() + start, static_cast<size_t>(length) + 1, format, arguments);
  out.resize(start + static_cast<size_t>(length));
}

}  // namespace

std::string FormatStringV(const char* format, va_list arguments) {
  std::string out;
  AppendFormatV(out, format, arguments);
  return out;
}

std::string FormatString(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::string out = FormatStringV(format, arguments);
  va_end(arguments);
  return out;
}

void AppendFormat(std::string& out, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  AppendFormatV(out, format, arguments);
  va_end(arguments);
}

}  // namespace rastro
