// Checks a run record against the JSON Schema committed beside the results module, with
// Python's jsonschema (Debian's python3-jsonschema) as an independent validator.
#pragma once

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "ScratchDirectory.h"

namespace rastro::testing {

// Validates `document` against the committed schema with Python's jsonschema (Debian's
// python3-jsonschema); returns the validator's verdict, or fails the test when it cannot run.
inline bool ValidAgainstSchema(const nlohmann::json& document, std::string& problem) {
  ScratchDirectory scratch;
  const std::filesystem::path file = scratch.Write("record.json", document.dump());
  const std::filesystem::path output = scratch.Path() / "output.txt";
  const std::string command =
      "python3 -c 'import json, sys, jsonschema\n"
      "schema = json.load(open(sys.argv[1]))\n"
      "jsonschema.Draft202012Validator.check_schema(schema)\n"
      "errors = list(jsonschema.Draft202012Validator(schema).iter_errors(json.load(open(sys.argv[2]))))\n"
      "print(\"\\n\".join(e.message for e in errors))\n"
      "sys.exit(1 if errors else 0)' '" RASTRO_RECORD_SCHEMA "' '" +
      file.string() + "' > '" + output.string() + "' 2>&1";
  const int status = std::system(command.c_str());
  problem = ReadFile(output);
  if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) {
    ADD_FAILURE() << "the schema check needs python3 with jsonschema (Debian: python3-jsonschema; "
                     "scripts/install-deps.sh installs it): "
                  << problem;
    return false;
  }
  return WEXITSTATUS(status) == 0;
}

}  // namespace rastro::testing
