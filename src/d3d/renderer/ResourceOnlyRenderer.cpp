// The renderer of tests: every resource stays in the device core's memory, draws and clears
// are counted but put no pixels anywhere.
#include <new>

#include "DeviceProfile.h"
#include "core/DeviceState.h"
#include "renderer/Renderer.h"

namespace rastro {

namespace {

class ResourceOnlyRenderer final : public Renderer {
 public:
  explicit ResourceOnlyRenderer(std::shared_ptr<ResourceOnlyProbe> probe) : probe_(std::move(probe)) {}

  HRESULT AttachSwapChain(const D3DPRESENT_PARAMETERS&, const SwapChainSurfaces&) override {
    RunOutOfMemoryWhenAsked();
    return D3D_OK;
  }

  HRESULT TestCooperativeLevel() override { return probe_->lost ? D3DERR_DEVICELOST : D3D_OK; }

  HRESULT BeginScene() override {
    RunOutOfMemoryWhenAsked();
    if (probe_->failingBeginScenes) {
      --probe_->failingBeginScenes;
      return probe_->beginSceneFailure;
    }
    ++probe_->beginScenes;
    return D3D_OK;
  }

  void EndScene() override {
    RunOutOfMemoryWhenAsked();
    ++probe_->endScenes;
  }

  void Clear(DeviceState&, const std::vector<D3DRECT>&, bool, DWORD flags, D3DCOLOR color, float z,
             DWORD stencil) override {
    RunOutOfMemoryWhenAsked();
    ++probe_->clears;
    probe_->lastClearFlags = flags;
    probe_->lastClearColor = color;
    probe_->lastClearZ = z;
    probe_->lastClearStencil = stencil;
  }

  void Draw(DeviceState& state, D3DPRIMITIVETYPE type, UINT, UINT primitiveCount) override {
    RunOutOfMemoryWhenAsked();
    ++probe_->draws;
    probe_->primitives += primitiveCount;
    probe_->lastPrimitiveType = type;
    state.dirty = 0;
  }

  HRESULT Present() override {
    RunOutOfMemoryWhenAsked();
    ++probe_->presents;
    return probe_->lost ? D3DERR_DEVICELOST : D3D_OK;
  }

  void ReadSurface(Surface&) override { RunOutOfMemoryWhenAsked(); }
  void SurfaceWritten(Surface&) override { RunOutOfMemoryWhenAsked(); }
  void GenerateMipSubLevels(TextureCommon&) override { RunOutOfMemoryWhenAsked(); }

 private:
  void RunOutOfMemoryWhenAsked() const {
    if (probe_->outOfMemory) throw std::bad_alloc();
  }

  std::shared_ptr<ResourceOnlyProbe> probe_;
};

}  // namespace

Adapter ResourceOnlyAdapter(DeviceProfile profile, std::shared_ptr<ResourceOnlyProbe> probe) {
  if (!probe) probe = std::make_shared<ResourceOnlyProbe>();
  Adapter adapter{std::move(profile), {}};
  adapter.createRenderer = [probe](const RendererCreation&, HRESULT& result) -> std::unique_ptr<Renderer> {
    ++probe->devicesCreated;
    result = D3D_OK;
    return std::make_unique<ResourceOnlyRenderer>(probe);
  };
  return adapter;
}

}  // namespace rastro
