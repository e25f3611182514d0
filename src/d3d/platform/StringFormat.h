// printf-style formatting into strings that grow to fit, so that nothing is ever cut short.
// The format attributes let the compiler check every call's arguments against its format.
#pragma once

#include <cstdarg>
#include <string>

namespace rastro {

// The formatted text; empty only for a format the C library cannot encode.
std::string FormatString(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatStringV(const char* format, va_list arguments) __attribute__((format(printf, 1, 0)));

// Appends the formatted text to `out`.
void AppendFormat(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace rastro
