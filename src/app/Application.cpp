#include "Application.h"

#include <algorithm>

namespace rastro {

void CompletePresentParams(D3DPRESENT_PARAMETERS& PresentParams, HWND window) {
  PresentParams.BackBufferCount = 1;
  PresentParams.SwapEffect = D3DSWAPEFFECT_FLIP;
  PresentParams.hDeviceWindow = window;
  PresentParams.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
}

bool CreateFullScreenDevice(AppGlobals& app, HWND window) {
  CompletePresentParams(app.PresentParams, window);
  app.Direct3DObject->CreateDevice(app.AdapterIndex, D3DDEVTYPE_HAL, window, D3DCREATE_MIXED_VERTEXPROCESSING,
                                   &app.PresentParams, app.Device.ReleaseAndGetAddressOf());
  if (!app.Device) {
    app.Direct3DObject.Reset();
    return false;
  }
  D3DCAPS9 caps{};
  app.Device->GetDeviceCaps(&caps);
  if ((caps.VertexShaderVersion & 0xFFFF) < 0x0101) app.Device->SetSoftwareVertexProcessing(TRUE);
  return true;
}

std::size_t RunReport::Finished() const {
  std::size_t finished = 0;
  for (const TestOutcome& test : tests) finished += test.status != TestOutcome::Status::kCutShort ? 1 : 0;
  return finished;
}

RunReport RunBenchmark(AppGlobals& app, RunEnvironment environment) {
  D3DADAPTER_IDENTIFIER9 identifier{};
  app.Direct3DObject->GetAdapterIdentifier(app.AdapterIndex, 0, &identifier);
  environment.results.WriteHeader(identifier, app.PresentParams);

  RunSettings settings;
  settings.screen = {app.PresentParams.BackBufferWidth, app.PresentParams.BackBufferHeight};
  settings.clearFlags = ClearFlagsFor(app.PresentParams.AutoDepthStencilFormat);
  settings.measuredSeconds = environment.measuredSeconds;
  app.Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  app.Device->SetRenderState(D3DRS_LIGHTING, FALSE);

  const std::span<const CatalogueRow> catalogue = environment.catalogue;
  const ScreenSize screen = settings.screen;
  const TestFiles& files = environment.files;
  RunReport report;
  report.catalogueSize = catalogue.size();
  const unsigned passes = std::max(1u, environment.passes);
  for (unsigned pass = 0; pass < passes && report.end == PumpEnd::kCatalogueDone; ++pass) {
    const bool last = pass + 1 == passes;
    environment.results.SetDiscarding(!last);
    if (environment.recorder) environment.recorder->BeginPass(pass, passes);
    RunSequence sequence(
        *app.Device, catalogue.size(),
        [catalogue, screen, &files](std::size_t index) {
          return catalogue[index].create(catalogue[index], screen, files);
        },
        environment.results, environment.clock, settings);
    sequence.SetObserver(environment.observer);
    sequence.SetFrameSink(last ? environment.frames : nullptr);
    sequence.SetRecorder(environment.recorder);
    report.end = RunMessagePump(environment.events, app.KeyDown, sequence);
    report.tests = sequence.Outcomes();  // the last pass's, which Results.txt reports
  }                                      // the sequence destroys a test still current before the device goes
  environment.results.SetDiscarding(false);
  app.Device.Reset();
  app.Direct3DObject.Reset();
  return report;
}

}  // namespace rastro
