// rastrometer: measures the pixel fill rate of the graphics adapter and writes Results.txt to
// the working directory.
#include <SDL.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string_view>
#include <vector>

#include "Application.h"
#include "Catalogue.h"
#include "CommandLine.h"
#include "SdlEvents.h"
#include "SettingsChoice.h"
#include "SettingsDialog.h"
#include "SettingsModel.h"
#include "SteadyClock.h"
#include "TerminalProgress.h"

namespace {

using namespace rastro;

// Exit statuses: a script reads them, so a failure must never look like success.
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

bool DisplayAvailable() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

// A message box where there is a screen to show it on; the terminal otherwise.
void ReportError(const char* text, SDL_Window* owner, bool onScreen) {
  if (onScreen && SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_WARNING, kErrorCaption, text, owner) == 0) return;
  std::fprintf(stderr, "rastrometer: %s\n", text);
}

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
int ChooseSettingsFor(AppGlobals& app, const CommandLine& line, bool headless) {
  IDirect3D9& d3d = *app.Direct3DObject;
  if (!headless && line.settings.Empty()) {
    gtk_disable_setlocale();  // results and messages keep the "C" number format
    if (gtk_init_check(nullptr, nullptr)) {
      // The dialog can only be left through a complete choice; with none to offer it would
      // never close.
      if (!AnyAdapterUsable(d3d)) {
        ReportError("No display adapter offers a full-screen mode with a usable back buffer and Z-buffer format.",
                    nullptr, true);
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
  std::fprintf(stderr, "rastrometer: %s\n", choice.message.c_str());
  return choice.outcome == ChoiceOutcome::kNotOffered ? kExitUsage : kExitFailed;
}

int Run(const CommandLine& line) {
  const bool headless = line.headless || !DisplayAvailable();
  if (headless) SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");

  AppGlobals app;
  app.Direct3DObject = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
  if (!app.Direct3DObject) {
    ReportError(kNoDirect3DMessage, nullptr, !headless);
    return kExitFailed;
  }
  if (line.action == CommandLine::Action::kList) {
    WriteSettingsList(*app.Direct3DObject, std::cout);
    return kExitDone;
  }
  if (const int status = ChooseSettingsFor(app, line, headless); status >= 0) return status;

  SDL_Window* window = nullptr;
  if (!headless) {
    window = SDL_CreateWindow("Rastrometer", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 400, 400,
                              SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) {
      std::fprintf(stderr, "rastrometer: cannot create the main window: %s\n", SDL_GetError());
      ReportError(kNoDeviceMessage, nullptr, true);
      return kExitFailed;
    }
    SDL_ShowCursor(SDL_DISABLE);
    SDL_ShowWindow(window);
  }
  struct WindowCloser {
    void operator()(SDL_Window* w) const { SDL_DestroyWindow(w); }
  };
  std::unique_ptr<SDL_Window, WindowCloser> windowOwner(window);

  if (!CreateFullScreenDevice(app, window)) {
    ReportError(kNoDeviceMessage, window, !headless);
    return kExitFailed;
  }

  ResultsFile results("Results.txt");
  std::unique_ptr<TerminalProgress> progress;
  if (isatty(STDOUT_FILENO)) {
    progress = std::make_unique<TerminalProgress>(stdout);
    results.SetEcho(progress.get());
  }
  SdlEvents events;
  RunBenchmark(app, {results, SystemClock(), events, Catalogue(), line.seconds, progress.get()});
  return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (!parsed.ok) {
    std::fprintf(stderr, "rastrometer: %s\n", parsed.error.c_str());
    return kExitUsage;
  }
  switch (parsed.line.action) {
    case CommandLine::Action::kHelp:
      std::fputs(UsageText().c_str(), stdout);
      return kExitDone;
    case CommandLine::Action::kVersion:
      std::printf("rastrometer %s\n", RASTRO_VERSION);
      return kExitDone;
    default:
      return Run(parsed.line);
  }
}
