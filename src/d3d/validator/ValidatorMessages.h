// The shader validator's message table (ValidatorMessages.def) as C++: an identifier per
// message with its code, and its format. Messages are raised through REPORT_VALIDATOR_MESSAGE,
// which has the compiler check the arguments against the format.
#pragma once

#include <cstddef>

#include "WindowsTypes.h"

namespace rastro {

// The validator's own codes; the assembler shows them as 5000 + code.
enum class ValidatorMessage : DWORD {
#define VALIDATOR_MESSAGE(Name, Code, Format) Name = Code,
#include "ValidatorMessages.def"
};

// The formats as constant arrays of their own, so that compilers check printf arguments
// against them.
namespace validator_format {
#define VALIDATOR_MESSAGE(Name, Code, Format) inline constexpr char Name[] = Format;
#include "ValidatorMessages.def"
}  // namespace validator_format

struct ValidatorMessageEntry {
  ValidatorMessage message;
  const char* name;
  const char* format;  // printf format; its arguments are listed where the message is raised
};

// The whole table, in code order.
inline constexpr ValidatorMessageEntry kValidatorMessages[] = {
#define VALIDATOR_MESSAGE(Name, Code, Format) {ValidatorMessage::Name, #Name, validator_format::Name},
#include "ValidatorMessages.def"
};

}  // namespace rastro

// Raises message `Name` of the table through `validator` (a ShaderValidator) with the format's
// arguments.
#define REPORT_VALIDATOR_MESSAGE(validator, Name, ...) \
  (validator).Report(::rastro::ValidatorMessage::Name, ::rastro::validator_format::Name __VA_OPT__(, ) __VA_ARGS__)
