// Pictures of what each test drew: the back buffer read back after a test is measured and
// written as DIR/NN-name.png, so a user can see every test's frame.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "RunSequence.h"
#include "d3d9.h"

namespace rastro {

// "NN-name.png" for test `number` (1-based): the name's letters and digits kept, every other
// run of characters one '-'.
std::string CaptureFileName(std::size_t number, const char* testName);

class FrameCapture final : public FrameSink {
 public:
  // Reports problems on `err`; the directory must exist (see Prepare).
  FrameCapture(std::filesystem::path directory, std::FILE* err) : directory_(std::move(directory)), err_(err) {}

  // Creates the directory when missing; false (with a message in `error`) when it cannot be
  // had or is no directory.
  static bool Prepare(const std::filesystem::path& directory, std::string& error);

  void TestFrame(IDirect3DDevice9& device, std::size_t number, const char* testName) override;

  // Reads the device's back buffer and writes it to `file` as an 8-bit RGB PNG. False with a
  // message in `error` when the back buffer cannot be read or the file cannot be written; no
  // partial file is left behind.
  static bool WriteBackBuffer(IDirect3DDevice9& device, const std::filesystem::path& file, std::string& error);

 private:
  std::filesystem::path directory_;
  std::FILE* err_;
};

}  // namespace rastro
