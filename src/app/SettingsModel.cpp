#include "SettingsModel.h"

#include <cstring>

#include "FormatName.h"

namespace rastro {

std::string ModeText(const D3DDISPLAYMODE& mode) {
  std::string text = std::to_string(mode.Width);
  text += 'x';
  text += std::to_string(mode.Height);
  text += "  ";
  text += FormatName(mode.Format);
  text += "  ";
  text += std::to_string(mode.RefreshRate);
  text += "Hz";
  return text;
}

void FillModeList(IDirect3D9& d3d, UINT adapter, std::vector<std::string>& list, D3DFORMAT displayFormat) {
  for (UINT i = 0; i < d3d.GetAdapterModeCount(adapter, displayFormat); ++i) {
    D3DDISPLAYMODE mode{};
    d3d.EnumAdapterModes(adapter, displayFormat, i, &mode);
    list.push_back(ModeText(mode));
  }
}

bool ModeAt(IDirect3D9& d3d, UINT adapter, UINT position, D3DDISPLAYMODE& mode) {
  for (D3DFORMAT format : kDisplayFormats) {
    const UINT count = d3d.GetAdapterModeCount(adapter, format);
    if (position < count) {
      d3d.EnumAdapterModes(adapter, format, position, &mode);
      return true;
    }
    position -= count;
  }
  return false;
}

std::vector<D3DFORMAT> BackBufferFormats(IDirect3D9& d3d, UINT adapter, D3DFORMAT displayFormat) {
  std::vector<D3DFORMAT> formats;
  for (DWORD value = kFirstBackBufferFormat; value <= kLastBackBufferFormat; ++value) {
    const auto format = static_cast<D3DFORMAT>(value);
    if (d3d.CheckDeviceType(adapter, D3DDEVTYPE_HAL, displayFormat, format, FALSE) == D3D_OK) {
      formats.push_back(format);
    }
  }
  return formats;
}

std::vector<D3DFORMAT> DepthFormats(IDirect3D9& d3d, UINT adapter, D3DFORMAT displayFormat,
                                    D3DFORMAT backBufferFormat) {
  std::vector<D3DFORMAT> formats;
  for (DWORD value = kFirstDepthFormat; value <= kLastDepthFormat; ++value) {
    const auto format = static_cast<D3DFORMAT>(value);
    if (d3d.CheckDeviceFormat(adapter, D3DDEVTYPE_HAL, displayFormat, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                              format) == D3D_OK &&
        d3d.CheckDepthStencilMatch(adapter, D3DDEVTYPE_HAL, displayFormat, backBufferFormat, format) == D3D_OK) {
      formats.push_back(format);
    }
  }
  return formats;
}

D3DFORMAT BackBufferFormatAt(IDirect3D9& d3d, UINT adapter, D3DFORMAT displayFormat, UINT position) {
  const std::vector<D3DFORMAT> formats = BackBufferFormats(d3d, adapter, displayFormat);
  return position < formats.size() ? formats[position] : D3DFMT_UNKNOWN;
}

D3DFORMAT DepthFormatAt(IDirect3D9& d3d, UINT adapter, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                        UINT position) {
  const std::vector<D3DFORMAT> formats = DepthFormats(d3d, adapter, displayFormat, backBufferFormat);
  return position < formats.size() ? formats[position] : D3DFMT_UNKNOWN;
}

void SettingsModel::Initialise() {
  adapters_.Reset();
  const UINT count = d3d_.GetAdapterCount();
  for (UINT adapter = 0; adapter < count; ++adapter) {
    D3DADAPTER_IDENTIFIER9 identifier{};
    d3d_.GetAdapterIdentifier(adapter, 0, &identifier);
    adapters_.entries.emplace_back(identifier.Description,
                                   strnlen(identifier.Description, sizeof identifier.Description));
  }
  adapters_.SelectFirst();
  RefillModes();
}

void SettingsModel::ChooseAdapter(int position) {
  if (position < 0 || position >= static_cast<int>(adapters_.entries.size())) return;
  adapters_.selected = position;
  RefillModes();
}

void SettingsModel::ChooseMode(int position) {
  if (position < 0 || position >= static_cast<int>(modes_.entries.size())) return;
  modes_.selected = position;
  RefillBackBuffers();
}

void SettingsModel::ChooseBackBuffer(int position) {
  if (position < 0 || position >= static_cast<int>(backBuffers_.entries.size())) return;
  backBuffers_.selected = position;
  RefillDepths();
}

void SettingsModel::ChooseDepth(int position) {
  if (position < 0 || position >= static_cast<int>(depths_.entries.size())) return;
  depths_.selected = position;
}

UINT SettingsModel::SelectedAdapter() const {
  return adapters_.selected == kNoSelection ? 0 : static_cast<UINT>(adapters_.selected);
}

bool SettingsModel::SelectedModeFormat(D3DFORMAT& format) const {
  if (modes_.selected == kNoSelection) return false;
  D3DDISPLAYMODE mode{};
  if (!ModeAt(d3d_, SelectedAdapter(), static_cast<UINT>(modes_.selected), mode)) return false;
  format = mode.Format;
  return true;
}

void SettingsModel::RefillModes() {
  modes_.Reset();
  if (adapters_.selected != kNoSelection) {
    for (D3DFORMAT format : kDisplayFormats) FillModeList(d3d_, SelectedAdapter(), modes_.entries, format);
  }
  modes_.SelectFirst();
  RefillBackBuffers();
}

void SettingsModel::RefillBackBuffers() {
  backBuffers_.Reset();
  D3DFORMAT displayFormat{};
  if (SelectedModeFormat(displayFormat)) {
    for (D3DFORMAT format : BackBufferFormats(d3d_, SelectedAdapter(), displayFormat)) {
      backBuffers_.entries.emplace_back(FormatName(format));
    }
  }
  backBuffers_.SelectFirst();
  RefillDepths();
}

void SettingsModel::RefillDepths() {
  depths_.Reset();
  D3DFORMAT displayFormat{};
  if (backBuffers_.selected != kNoSelection && SelectedModeFormat(displayFormat)) {
    const D3DFORMAT backBuffer =
        BackBufferFormatAt(d3d_, SelectedAdapter(), displayFormat, static_cast<UINT>(backBuffers_.selected));
    for (D3DFORMAT format : DepthFormats(d3d_, SelectedAdapter(), displayFormat, backBuffer)) {
      depths_.entries.emplace_back(FormatName(format));
    }
  }
  depths_.SelectFirst();
}

bool SettingsModel::Accept(UINT& AdapterIndex, D3DPRESENT_PARAMETERS& PresentParams, std::string& problem) const {
  if (adapters_.selected == kNoSelection) {
    problem = "No display adapter is available.";
    return false;
  }
  const UINT adapter = SelectedAdapter();
  D3DDISPLAYMODE mode{};
  if (modes_.selected == kNoSelection || !ModeAt(d3d_, adapter, static_cast<UINT>(modes_.selected), mode)) {
    problem = "The selected display adapter offers no full-screen display mode.";
    return false;
  }
  if (backBuffers_.selected == kNoSelection) {
    problem = "No back buffer format is available for the selected display mode.";
    return false;
  }
  const D3DFORMAT backBuffer = BackBufferFormatAt(d3d_, adapter, mode.Format, static_cast<UINT>(backBuffers_.selected));
  if (depths_.selected == kNoSelection) {
    problem = "No Z-buffer format is available for the selected display mode and back buffer format.";
    return false;
  }
  const D3DFORMAT depth = DepthFormatAt(d3d_, adapter, mode.Format, backBuffer, static_cast<UINT>(depths_.selected));

  AdapterIndex = adapter;
  PresentParams.BackBufferWidth = mode.Width;
  PresentParams.BackBufferHeight = mode.Height;
  PresentParams.FullScreen_RefreshRateInHz = mode.RefreshRate;
  PresentParams.BackBufferFormat = backBuffer;
  PresentParams.EnableAutoDepthStencil = TRUE;
  PresentParams.AutoDepthStencilFormat = depth;
  return true;
}

}  // namespace rastro
