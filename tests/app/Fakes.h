// Fake Direct3D objects, clock and event source for the app tests. Calls that matter to the
// benchmark are written to a shared log as text, so a test can compare whole call sequences.
#pragma once

#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Direct3DStubs.h"
#include "MessagePump.h"
#include "SteadyClock.h"

namespace rastro::testing {

using CallLog = std::vector<std::string>;

struct FakeAdapter {
  std::string description = "Fake Adapter";
  LONGLONG driverVersion = 0;
  std::map<D3DFORMAT, std::vector<D3DDISPLAYMODE>> modes;  // per display format
  std::set<std::pair<D3DFORMAT, D3DFORMAT>> backBuffers;   // display, back buffer
  std::set<std::pair<D3DFORMAT, D3DFORMAT>> depthFormats;  // display, depth
  std::set<std::pair<D3DFORMAT, D3DFORMAT>> depthMatches;  // back buffer, depth
};

class FakeDirect3D final : public StubDirect3D {
 public:
  std::vector<FakeAdapter> adapters;
  IDirect3DDevice9* deviceToCreate = nullptr;  // handed out (with a reference) by CreateDevice
  CallLog* log = nullptr;
  int references = 1;

  struct CreateDeviceCall {
    UINT adapter;
    D3DDEVTYPE type;
    HWND window;
    DWORD flags;
    D3DPRESENT_PARAMETERS params;
  };
  std::vector<CreateDeviceCall> createDeviceCalls;

  ULONG AddRef() override { return static_cast<ULONG>(++references); }
  ULONG Release() override {
    if (log) log->push_back("Direct3D.Release");
    return static_cast<ULONG>(--references);
  }
  UINT GetAdapterCount() override { return static_cast<UINT>(adapters.size()); }
  HRESULT GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER9* identifier) override {
    if (adapter >= adapters.size()) return D3DERR_INVALIDCALL;
    *identifier = {};
    std::strncpy(identifier->Description, adapters[adapter].description.c_str(), sizeof identifier->Description - 1);
    identifier->DriverVersion.QuadPart = adapters[adapter].driverVersion;
    return D3D_OK;
  }
  UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override {
    if (adapter >= adapters.size()) return 0;
    auto found = adapters[adapter].modes.find(format);
    return found == adapters[adapter].modes.end() ? 0 : static_cast<UINT>(found->second.size());
  }
  HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT index, D3DDISPLAYMODE* mode) override {
    if (index >= GetAdapterModeCount(adapter, format)) return D3DERR_INVALIDCALL;
    *mode = adapters[adapter].modes.at(format)[index];
    return D3D_OK;
  }
  HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT display, D3DFORMAT backBuffer,
                          BOOL windowed) override {
    if (adapter >= adapters.size() || type != D3DDEVTYPE_HAL || windowed) return D3DERR_INVALIDCALL;
    return adapters[adapter].backBuffers.count({display, backBuffer}) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT display, DWORD usage, D3DRESOURCETYPE kind,
                            D3DFORMAT format) override {
    if (adapter >= adapters.size() || type != D3DDEVTYPE_HAL || usage != D3DUSAGE_DEPTHSTENCIL ||
        kind != D3DRTYPE_SURFACE) {
      return D3DERR_INVALIDCALL;
    }
    return adapters[adapter].depthFormats.count({display, format}) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
  HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT, D3DFORMAT backBuffer,
                                 D3DFORMAT depth) override {
    if (adapter >= adapters.size() || type != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
    return adapters[adapter].depthMatches.count({backBuffer, depth}) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND window, DWORD flags, D3DPRESENT_PARAMETERS* params,
                       IDirect3DDevice9** device) override {
    createDeviceCalls.push_back({adapter, type, window, flags, *params});
    *device = deviceToCreate;
    if (!deviceToCreate) return D3DERR_NOTAVAILABLE;
    deviceToCreate->AddRef();
    return D3D_OK;
  }
};

class FakeVertexBuffer final : public StubVertexBuffer {
 public:
  FakeVertexBuffer(UINT length, CallLog& log, bool lockFails) : bytes_(length), log_(log), lockFails_(lockFails) {}
  ULONG AddRef() override { return static_cast<ULONG>(++references_); }
  ULONG Release() override {
    log_.push_back("VertexBuffer.Release");
    const int left = --references_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override {
    log_.push_back("Lock(" + std::to_string(offset) + "," + std::to_string(size) + "," + std::to_string(flags) + ")");
    if (lockFails_) {
      *data = nullptr;
      return D3DERR_INVALIDCALL;
    }
    *data = bytes_.data();
    return D3D_OK;
  }
  HRESULT Unlock() override {
    log_.push_back("Unlock");
    return D3D_OK;
  }
  const std::vector<unsigned char>& Bytes() const { return bytes_; }

 private:
  std::vector<unsigned char> bytes_;
  CallLog& log_;
  bool lockFails_;
  int references_ = 1;
};

// Shaders and declarations the fake device hands out; their last Release is logged by name.
template <typename Interface>
class FakeDeviceChild final : public Interface {
 public:
  FakeDeviceChild(const char* name, CallLog& log) : name_(name), log_(log) {}
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return static_cast<ULONG>(++references_); }
  ULONG Release() override {
    const int left = --references_;
    if (left == 0) {
      log_.push_back(std::string(name_) + ".Release");
      delete this;
    }
    return static_cast<ULONG>(left);
  }
  HRESULT GetDevice(IDirect3DDevice9**) override { return E_NOTIMPL; }
  HRESULT GetFunction(void*, UINT*) { return E_NOTIMPL; }
  HRESULT GetDeclaration(D3DVERTEXELEMENT9*, UINT*) { return E_NOTIMPL; }

 private:
  const char* name_;
  CallLog& log_;
  int references_ = 1;
};

// A device that records what the benchmark asks of it. Frames (BeginScene) and draws are only
// counted, not logged, unless `logFrames` is set.
class FakeDevice final : public StubDevice {
 public:
  explicit FakeDevice(CallLog& log) : log_(log) { caps.PrimitiveMiscCaps = D3DPMISCCAPS_COLORWRITEENABLE; }

  D3DCAPS9 caps{};
  bool createVertexBufferFails = false;
  bool lockFails = false;
  bool logFrames = false;
  std::function<HRESULT(int)> beginSceneResult;  // given the BeginScene call number, from 1
  int references = 1;
  int beginScenes = 0;
  int clears = 0;
  int draws = 0;
  int presents = 0;
  DWORD lastClearFlags = 0;
  FakeVertexBuffer* lastVertexBuffer = nullptr;
  std::map<DWORD, IDirect3DBaseTexture9*> boundTextures;  // by stage, not referenced
  // The highest shader versions the device accepts; creating a higher one fails.
  DWORD pixelShaderVersion = D3DPS_VERSION(2, 0);
  DWORD vertexShaderVersion = D3DVS_VERSION(2, 0);
  bool createDeclarationFails = false;
  std::vector<D3DVERTEXELEMENT9> lastDeclaration;

  ULONG AddRef() override { return static_cast<ULONG>(++references); }
  ULONG Release() override {
    log_.push_back("Device.Release");
    return static_cast<ULONG>(--references);
  }
  HRESULT GetDeviceCaps(D3DCAPS9* out) override {
    *out = caps;
    return D3D_OK;
  }
  HRESULT SetSoftwareVertexProcessing(BOOL software) override {
    log_.push_back("SetSoftwareVertexProcessing(" + std::to_string(software) + ")");
    return D3D_OK;
  }
  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                             HANDLE* shared) override {
    log_.push_back("CreateVertexBuffer(" + std::to_string(length) + "," + std::to_string(usage) + "," +
                   std::to_string(fvf) + "," + std::to_string(pool) + (shared ? ",shared" : "") + ")");
    if (createVertexBufferFails) {
      *buffer = nullptr;
      return E_OUTOFMEMORY;
    }
    *buffer = lastVertexBuffer = new FakeVertexBuffer(length, log_, lockFails);
    return D3D_OK;
  }
  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override {
    log_.push_back("SetStreamSource(" + std::to_string(stream) + "," + (buffer ? "buffer" : "null") + "," +
                   std::to_string(offset) + "," + std::to_string(stride) + ")");
    return D3D_OK;
  }
  HRESULT SetFVF(DWORD fvf) override {
    log_.push_back("SetFVF(" + std::to_string(fvf) + ")");
    return D3D_OK;
  }
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
    log_.push_back("SetRenderState(" + std::to_string(state) + "," + std::to_string(value) + ")");
    return D3D_OK;
  }
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override {
    log_.push_back("SetTexture(" + std::to_string(stage) + (texture ? ")" : ",null)"));
    boundTextures[stage] = texture;
    return D3D_OK;
  }
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
    log_.push_back("SetTextureStageState(" + std::to_string(stage) + "," + std::to_string(type) + "," +
                   std::to_string(value) + ")");
    return D3D_OK;
  }
  HRESULT BeginScene() override {
    ++beginScenes;
    const HRESULT result = beginSceneResult ? beginSceneResult(beginScenes) : D3D_OK;
    if (logFrames) log_.push_back(SUCCEEDED(result) ? "BeginScene" : "BeginScene failed");
    return result;
  }
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) override {
    ++clears;
    lastClearFlags = flags;
    if (logFrames) {
      log_.push_back("Clear(" + std::to_string(count) + "," + (rects ? "rects" : "null") + "," + std::to_string(flags) +
                     "," + std::to_string(colour) + "," + std::to_string(z) + "," + std::to_string(stencil) + ")");
    }
    return D3D_OK;
  }
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count) override {
    ++draws;
    if (logFrames) {
      log_.push_back("DrawPrimitive(" + std::to_string(type) + "," + std::to_string(start) + "," +
                     std::to_string(count) + ")");
    }
    return D3D_OK;
  }
  HRESULT EndScene() override {
    if (logFrames) log_.push_back("EndScene");
    return D3D_OK;
  }
  HRESULT Present(const RECT* source, const RECT* dest, HWND window, const RGNDATA* region) override {
    ++presents;
    if (logFrames) {
      log_.push_back(std::string("Present") + (source || dest || window || region ? "(with arguments)" : ""));
    }
    return D3D_OK;
  }
  HRESULT CreatePixelShader(const DWORD* tokens, IDirect3DPixelShader9** shader) override {
    log_.push_back("CreatePixelShader(" + VersionText(tokens[0]) + ")");
    *shader =
        tokens[0] <= pixelShaderVersion ? new FakeDeviceChild<IDirect3DPixelShader9>("PixelShader", log_) : nullptr;
    return *shader ? D3D_OK : D3DERR_INVALIDCALL;
  }
  HRESULT CreateVertexShader(const DWORD* tokens, IDirect3DVertexShader9** shader) override {
    log_.push_back("CreateVertexShader(" + VersionText(tokens[0]) + ")");
    *shader =
        tokens[0] <= vertexShaderVersion ? new FakeDeviceChild<IDirect3DVertexShader9>("VertexShader", log_) : nullptr;
    return *shader ? D3D_OK : D3DERR_INVALIDCALL;
  }
  HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override {
    log_.push_back(std::string("SetPixelShader(") + (shader ? "shader" : "null") + ")");
    return D3D_OK;
  }
  HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override {
    log_.push_back(std::string("SetVertexShader(") + (shader ? "shader" : "null") + ")");
    return D3D_OK;
  }
  HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                  IDirect3DVertexDeclaration9** declaration) override {
    lastDeclaration.clear();
    for (; elements->Stream != 0xFF; ++elements) lastDeclaration.push_back(*elements);
    log_.push_back("CreateVertexDeclaration(" + std::to_string(lastDeclaration.size()) + ")");
    *declaration =
        createDeclarationFails ? nullptr : new FakeDeviceChild<IDirect3DVertexDeclaration9>("Declaration", log_);
    return *declaration ? D3D_OK : E_OUTOFMEMORY;
  }
  HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override {
    log_.push_back(std::string("SetVertexDeclaration(") + (declaration ? "declaration" : "null") + ")");
    return D3D_OK;
  }
  static std::string VersionText(DWORD version) {
    return std::string((version >> 16) == 0xFFFF ? "ps_" : "vs_") + std::to_string((version >> 8) & 0xFF) + "_" +
           std::to_string(version & 0xFF);
  }

 private:
  CallLog& log_;
};

// A performance counter whose frames take the durations a test gives: Ticks is read twice per
// rendered frame, at its start and its end, and the end reading adds the next duration.
class FakeClock final : public SteadyClock {
 public:
  explicit FakeClock(std::int64_t frequency, std::function<std::int64_t(int)> frameTicks)
      : frequency_(frequency), frameTicks_(std::move(frameTicks)) {}
  std::int64_t Ticks() override {
    if (inFrame_) now_ += frameTicks_(++frames_);
    inFrame_ = !inFrame_;
    return now_;
  }
  std::int64_t Frequency() override { return frequency_; }
  int Frames() const { return frames_; }

 private:
  std::int64_t frequency_;
  std::function<std::int64_t(int)> frameTicks_;
  std::int64_t now_ = 1000;
  bool inFrame_ = false;
  int frames_ = 0;
};

// Events that arrive before given run steps: `script[n]` is delivered in the pass before the
// step numbered n (from 0).
class ScriptedEvents final : public EventSource {
 public:
  std::map<int, std::vector<InputEvent>> script;
  int passes = 0;

  bool Poll(InputEvent& event) override {
    auto& waiting = script[passes];
    if (!waiting.empty()) {
      event = waiting.front();
      waiting.erase(waiting.begin());
      return true;
    }
    ++passes;  // the queue is empty: a run step follows
    return false;
  }
};

}  // namespace rastro::testing
