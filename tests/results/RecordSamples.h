// Run records built in code for the results tests: every field set to a value of its own, so a
// field that is dropped or swapped on the way shows.
#pragma once

#include <string>
#include <vector>

#include "RunRecord.h"

namespace rastro::testing {

inline TestRecord MeasuredTest(const std::string& name, std::vector<double> passRates) {
  TestRecord test;
  test.name = name;
  test.pixelFactor = 32;
  test.status = TestStatus::kMeasured;
  for (std::size_t i = 0; i < passRates.size(); ++i) {
    test.frameRates.push_back({passRates[i] * 0.9, passRates[i], passRates[i] * 1.1});
  }
  test.passRates = std::move(passRates);
  return test;
}

inline RunRecord SampleRun(const std::string& uuid = "3f2a9c1e-5b7d-4e8f-a1b2-c3d4e5f60718",
                           const std::string& started = "2024-05-01T12:34:56Z") {
  RunRecord run;
  run.uuid = uuid;
  run.programVersion = "0.1.0";
  run.startedUtc = started;
  run.settings = {1, 1024, 768, 85, "X8R8G8B8", "D24S8", 0.25, 3};
  run.adapter = {"Mesa llvmpipe",
                 "OpenGL",
                 "4.5.0.23",
                 0x10DE,
                 0x1C82,
                 "Mesa",
                 "llvmpipe (LLVM 15.0.6, 256 bits)",
                 "4.5 (Core Profile) Mesa 22.3.6"};
  run.machine = {"AMD EPYC 7B13", 2, 25769803776ull, "6.1.0-18-amd64", "Debian GNU/Linux 12 (bookworm)"};
  run.dataDirectory = "/usr/share/rastrometer";
  run.tests.push_back(MeasuredTest("FFP - Pure fillrate", {1234.5678901234567, 0.1, 1e-300}));
  TestRecord failed;
  failed.name = "PS 1.4 - Simple";
  failed.pixelFactor = 16;
  failed.status = TestStatus::kFailed;
  failed.failureReason = "D3DXAssembleShaderFromFileA failed: \"ps.1.4\" unknown, 'quoted' & <marked>";
  run.tests.push_back(failed);
  TestRecord notRun;
  notRun.name = "PS 2.0 - Per Pixel Lighting";
  notRun.pixelFactor = 8;
  run.tests.push_back(notRun);
  return run;
}

}  // namespace rastro::testing
