#include "Program.h"

#include <SDL.h>
#include <gtk/gtk.h>

#include <ctime>
#include <memory>
#include <optional>
#include <sstream>

#include "Application.h"
#include "Catalogue.h"
#include "CommandLine.h"
#include "DataFiles.h"
#include "DisplayCheck.h"
#include "FrameCapture.h"
#include "GlIdentity.h"
#include "MachineProbe.h"
#include "RastrometerVersion.h"
#include "ResultsCommand.h"
#include "RunRecording.h"
#include "SdlEvents.h"
#include "SettingsChoice.h"
#include "SettingsDialog.h"
#include "SettingsModel.h"
#include "TerminalProgress.h"

namespace rastro {

namespace {

// How the program tells the user about a failure: a message box where there is a screen to
// show it on, the error stream otherwise.
class Reporter {
 public:
  Reporter(std::FILE* err, bool onScreen) : err_(err), onScreen_(onScreen) {}
  void Error(const char* text, SDL_Window* owner = nullptr) const {
    if (onScreen_ && SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_WARNING, kErrorCaption, text, owner) == 0) return;
    std::fprintf(err_, "rastrometer: %s\n", text);
  }
  void Note(const std::string& text) const { std::fprintf(err_, "rastrometer: %s\n", text.c_str()); }

 private:
  std::FILE* err_;
  bool onScreen_;
};

bool AnyAdapterUsable(IDirect3D9& d3d) {
  for (UINT adapter = 0; adapter < d3d.GetAdapterCount(); ++adapter) {
    SettingsRequest request;
    request.adapter = adapter;
    UINT ignoredAdapter = 0;
    D3DPRESENT_PARAMETERS ignoredParams{};
    if (ChooseSettings(d3d, request, ignoredAdapter, ignoredParams).outcome == ChoiceOutcome::kChosen) return true;
  }
  return false;
}

// Fills the adapter and the mode and formats of the presentation parameters, from the dialog or
// from the command line. Returns the exit status to end with, or -1 to go on.
int ChooseSettingsFor(AppGlobals& app, const CommandLine& line, bool headless, const Reporter& report) {
  IDirect3D9& d3d = *app.Direct3DObject;
  if (!headless && line.settings.Empty()) {
    gtk_disable_setlocale();  // results and messages keep the "C" number format
    if (gtk_init_check(nullptr, nullptr)) {
      // The dialog can only be left through a complete choice; with none to offer it would
      // never close.
      if (!AnyAdapterUsable(d3d)) {
        report.Error("No display adapter offers a full-screen mode with a usable back buffer and Z-buffer format.");
        return kExitFailed;
      }
      SettingsModel model(d3d);
      SettingsDialog dialog(model);
      dialog.Run(app.AdapterIndex, app.PresentParams);
      return -1;
    }
  }
  const ChoiceResult choice = ChooseSettings(d3d, line.settings, app.AdapterIndex, app.PresentParams);
  if (choice.outcome == ChoiceOutcome::kChosen) return -1;
  report.Note(choice.message);
  return choice.outcome == ChoiceOutcome::kNotOffered ? kExitUsage : kExitFailed;
}

struct WindowCloser {
  void operator()(SDL_Window* window) const { SDL_DestroyWindow(window); }
};

// What the run's options and environment name, checked before anything runs.
struct RunInputs {
  std::vector<DataFolder> searchPath;
  std::optional<DataFolder> dataFolder;
  std::unique_ptr<FrameCapture> capture;
};

// Returns the exit status to end with, or -1 to go on.
int PrepareInputs(const CommandLine& line, const ProgramEnvironment& environment, RunInputs& inputs) {
  inputs.searchPath = environment.dataSearchPath;
  inputs.dataFolder = ChooseDataFolder(inputs.searchPath, IsFolder);
  // A folder named on purpose is never swapped for another one.
  if (!inputs.dataFolder && inputs.searchPath.size() == 1 && inputs.searchPath[0].origin == kDataFolderVariable) {
    std::fprintf(environment.err, "rastrometer: %s=%s: no such folder\n", kDataFolderVariable,
                 inputs.searchPath[0].path.c_str());
    return kExitUsage;
  }
  if (!line.captureDirectory.empty()) {
    std::string problem;
    if (!FrameCapture::Prepare(line.captureDirectory, problem)) {
      std::fprintf(environment.err, "rastrometer: %s\n", problem.c_str());
      return kExitUsage;
    }
    inputs.capture = std::make_unique<FrameCapture>(line.captureDirectory, environment.err);
  }
  return -1;
}

// Says where the data files come from, before the first results line.
void ShowDataFolder(const RunInputs& inputs, const ProgramEnvironment& environment) {
  if (inputs.dataFolder) {
    std::fprintf(environment.out, "Data files: %s (%s)\n", inputs.dataFolder->path.c_str(),
                 inputs.dataFolder->origin.c_str());
  } else {
    std::fprintf(environment.err,
                 "rastrometer: no data folder found (looked in %s); the tests that read data files will fail\n",
                 SearchPathText(inputs.searchPath).c_str());
  }
  std::fflush(environment.out);
}

// The closing lines: where the results are, how the run ended, and what went wrong with the
// results file. Returns the exit status.
int CloseRun(const RunReport& report, const ResultsFile& results, const ProgramEnvironment& environment) {
  std::error_code ignored;
  if (results.Intact() && std::filesystem::exists(results.Path(), ignored)) {
    std::fprintf(environment.out, "Results written to %s\n",
                 std::filesystem::absolute(results.Path(), ignored).c_str());
  }
  if (report.end == PumpEnd::kEscape) {
    std::fprintf(environment.out, "Ended by Escape after %zu of %zu tests.\n", report.Finished(), report.catalogueSize);
  } else if (report.end == PumpEnd::kClosed) {
    std::fprintf(environment.out, "Ended early (window closed or interrupted) after %zu of %zu tests.\n",
                 report.Finished(), report.catalogueSize);
  }
  std::fflush(environment.out);
  if (!results.Intact()) {
    std::fprintf(environment.err, "rastrometer: the results were not written to %s: %s\n",
                 std::filesystem::absolute(results.Path(), ignored).c_str(), results.Problem().c_str());
    return kExitNotWritten;
  }
  return kExitDone;
}

int Run(const CommandLine& line, const ProgramEnvironment& environment) {
  RunInputs inputs;
  if (line.action == CommandLine::Action::kRun) {
    if (const int status = PrepareInputs(line, environment, inputs); status >= 0) return status;
  }
  // Offscreen only when asked to or when no display was announced: a display that does not
  // answer ends the run rather than quietly measuring offscreen rendering instead.
  const bool headless = line.headless || !environment.displayAvailable;
  if (headless) {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
  } else if (const std::string problem = environment.openDisplay ? environment.openDisplay() : OpenAnnouncedDisplay();
             !problem.empty()) {
    std::fprintf(environment.err, "rastrometer: %s\n", problem.c_str());
    return kExitFailed;
  }
  const Reporter report(environment.err, !headless);

  AppGlobals app;
  app.Direct3DObject = ComPtr<IDirect3D9>::Adopt(environment.createDirect3D(D3D_SDK_VERSION));
  if (!app.Direct3DObject) {
    report.Error(kNoDirect3DMessage);
    return kExitFailed;
  }
  if (line.action == CommandLine::Action::kList) {
    std::ostringstream list;
    WriteSettingsList(*app.Direct3DObject, list);
    std::fputs(list.str().c_str(), environment.out);
    return kExitDone;
  }
  if (const int status = ChooseSettingsFor(app, line, headless, report); status >= 0) return status;

  std::unique_ptr<SDL_Window, WindowCloser> window;
  if (!headless) {
    window.reset(SDL_CreateWindow("Rastrometer", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 400, 400,
                                  SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN));
    if (!window) {
      report.Note(std::string("cannot create the main window: ") + SDL_GetError());
      report.Error(kNoDeviceMessage);
      return kExitFailed;
    }
    SDL_ShowCursor(SDL_DISABLE);
    SDL_ShowWindow(window.get());
  }

  if (!CreateFullScreenDevice(app, window.get())) {
    report.Error(kNoDeviceMessage, window.get());
    return kExitFailed;
  }

  ShowDataFolder(inputs, environment);
  SteadyClock& clock = environment.clock ? *environment.clock : SystemClock();
  D3DADAPTER_IDENTIFIER9 identifier{};
  app.Direct3DObject->GetAdapterIdentifier(app.AdapterIndex, 0, &identifier);
  RunRecording recording(Catalogue(), app.PresentParams, clock.Frequency(), environment.out);
  RunRecord& record = recording.Record();
  record.uuid = NewUuid();
  record.programVersion = RASTROMETER_VERSION;
  record.startedUtc = UtcText(environment.utcSeconds ? environment.utcSeconds() : std::time(nullptr));
  DescribeSettings(record, app.AdapterIndex, app.PresentParams, identifier);
  record.settings.seconds = line.seconds;
  record.settings.runs = line.runs;
  ReadGlIdentity(record.adapter);
  record.machine = ProbeMachine(environment.machineRoot);
  record.dataDirectory = inputs.dataFolder ? inputs.dataFolder->path.string() : std::string();

  ResultsFile results(environment.resultsPath, environment.err);
  RunReport ran;
  {
    TerminalProgress progress(environment.out, environment.err, environment.showProgress);
    results.SetEcho(&progress);
    SdlEvents sdlEvents;
    EventSource& events = environment.events ? *environment.events : sdlEvents;
    RunEnvironment run{results, clock, events, Catalogue(),
                       FolderFiles(inputs.dataFolder ? inputs.dataFolder->path : std::filesystem::path())};
    run.measuredSeconds = line.seconds;
    run.observer = &progress;
    run.frames = inputs.capture.get();
    run.passes = line.runs;
    run.recorder = &recording;
    ran = RunBenchmark(app, std::move(run));
    results.SetEcho(nullptr);
  }
  const int status = CloseRun(ran, results, environment);
  // Only now, with the device gone and Results.txt written: nothing in the measurement waits
  // on a store, and a store that fails cannot cost the results file.
  KeepRecord(record, {line.store, line.noStore, line.jsonPath, environment.defaultStore}, environment.out,
             environment.err);
  std::fflush(environment.out);
  return status;
}

}  // namespace

int RunProgram(std::span<const std::string_view> arguments, const ProgramEnvironment& environment) {
  if (!arguments.empty() && arguments[0] == "results") {
    return RunResultsCommand(arguments.subspan(1), {environment.defaultStore, environment.out, environment.err});
  }
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (!parsed.ok) {
    std::fprintf(environment.err, "rastrometer: %s\n", parsed.error.c_str());
    return kExitUsage;
  }
  switch (parsed.line.action) {
    case CommandLine::Action::kHelp: std::fputs(UsageText().c_str(), environment.out); return kExitDone;
    case CommandLine::Action::kVersion:
      std::fputs(RASTROMETER_VERSION_LINE("rastrometer"), environment.out);
      return kExitDone;
    default: return Run(parsed.line, environment);
  }
}

}  // namespace rastro
