// The program's state for the whole run and the steps from a chosen setting to the end of the
// run: device creation, the results header, device state, and the run itself.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "Catalogue.h"
#include "ComPtr.h"
#include "MessagePump.h"
#include "ResultsFile.h"
#include "RunSequence.h"
#include "SteadyClock.h"
#include "TestFiles.h"
#include "d3d9.h"

namespace rastro {

struct AppGlobals {
  ComPtr<IDirect3D9> Direct3DObject;
  ComPtr<IDirect3DDevice9> Device;
  UINT AdapterIndex = 0;
  D3DPRESENT_PARAMETERS PresentParams{};  // the settings fill the mode and formats
  KeyFlags KeyDown{};
};

inline constexpr char kNoDirect3DMessage[] = "Unable to create Direct3D object!";
inline constexpr char kNoDeviceMessage[] = "Unable to create 3D device!";
inline constexpr char kErrorCaption[] = "Error";

// Completes the presentation parameters after the settings: one back buffer, flip, no vsync,
// full screen on `window` (null renders offscreen).
void CompletePresentParams(D3DPRESENT_PARAMETERS& PresentParams, HWND window);

// Creates the full-screen device on the chosen adapter; a device is judged by the pointer that
// comes back, not the result code. On failure the Direct3D object is released too and false
// comes back. On success, a device without vertex shader 1.1 is switched to software vertex
// processing.
bool CreateFullScreenDevice(AppGlobals& app, HWND window);

struct RunEnvironment {
  ResultsFile& results;
  SteadyClock& clock;
  EventSource& events;
  std::span<const CatalogueRow> catalogue;
  TestFiles files;  // where the tests read their data files
  double measuredSeconds = 5.0;
  RunObserver* observer = nullptr;
  FrameSink* frames = nullptr;  // receives each measured test's frame when set
  // The catalogue is run this many times; only the last pass writes the results file, each
  // test's rate there being what the recorder makes of all its passes.
  unsigned passes = 1;
  TestRecorder* recorder = nullptr;
};

// How a run ended and what became of each test it started.
struct RunReport {
  PumpEnd end = PumpEnd::kCatalogueDone;
  std::vector<TestOutcome> tests;
  std::size_t catalogueSize = 0;

  // Tests that were measured or failed, before the run ended.
  std::size_t Finished() const;
};

// Writes the results header, sets the state every test relies on, runs the tests until the
// catalogue is done, Escape is pressed or the window closes, and releases the current test,
// the device and the Direct3D object, in that order.
RunReport RunBenchmark(AppGlobals& app, RunEnvironment environment);

}  // namespace rastro
