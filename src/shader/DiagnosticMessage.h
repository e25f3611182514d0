// The assembler's message table (DiagnosticMessages.def) as C++: an identifier per message,
// its code, severity and format. Messages are recorded with REPORT_DIAGNOSTIC, which checks
// the arguments against the format at compile time.
#pragma once

#include <cstddef>

#include "WindowsTypes.h"

namespace rastro {

enum class DiagnosticSeverity : DWORD { Error, Warning };

enum class DiagnosticMessage : DWORD {
#define DIAGNOSTIC_MESSAGE(Name, Code, Severity, Format) Name,
#include "DiagnosticMessages.def"
};

// The formats as constant arrays of their own, so that compilers check printf arguments
// against them.
namespace diagnostic_format {
#define DIAGNOSTIC_MESSAGE(Name, Code, Severity, Format) inline constexpr char Name[] = Format;
#include "DiagnosticMessages.def"
}  // namespace diagnostic_format

struct DiagnosticMessageInfo {
  DWORD code;
  DiagnosticSeverity severity;
  const char* name;
  const char* format;
};

inline constexpr DiagnosticMessageInfo kDiagnosticMessages[] = {
#define DIAGNOSTIC_MESSAGE(Name, Code, Severity, Format) \
  {Code, DiagnosticSeverity::Severity, #Name, diagnostic_format::Name},
#include "DiagnosticMessages.def"
};

constexpr const DiagnosticMessageInfo& DescribeMessage(DiagnosticMessage id) {
  return kDiagnosticMessages[static_cast<std::size_t>(id)];
}

}  // namespace rastro

// Records message `Name` of the table in `list` (a DiagnosticList) at `position` (a Token
// pointer or null) with the format's arguments.
#define REPORT_DIAGNOSTIC(list, position, Name, ...)              \
  (list).Report((position), ::rastro::DiagnosticMessage::Name, 0, \
                ::rastro::diagnostic_format::Name __VA_OPT__(, ) __VA_ARGS__)
