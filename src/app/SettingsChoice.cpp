#include "SettingsChoice.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "FormatName.h"
#include "SettingsModel.h"

namespace rastro {

namespace {

std::vector<D3DDISPLAYMODE> ListedModes(IDirect3D9& d3d, UINT adapter) {
  std::vector<D3DDISPLAYMODE> modes;
  for (D3DFORMAT format : kDisplayFormats) {
    const UINT count = d3d.GetAdapterModeCount(adapter, format);
    for (UINT i = 0; i < count; ++i) {
      D3DDISPLAYMODE mode{};
      d3d.EnumAdapterModes(adapter, format, i, &mode);
      modes.push_back(mode);
    }
  }
  return modes;
}

std::string AdapterDescription(IDirect3D9& d3d, UINT adapter) {
  D3DADAPTER_IDENTIFIER9 identifier{};
  d3d.GetAdapterIdentifier(adapter, 0, &identifier);
  return {identifier.Description, strnlen(identifier.Description, sizeof identifier.Description)};
}

bool Matches(const D3DDISPLAYMODE& mode, const std::optional<ModeRequest>& request) {
  if (!request) return true;
  return mode.Width == request->width && mode.Height == request->height &&
         (!request->refreshRate || mode.RefreshRate == *request->refreshRate);
}

std::string ModeChoiceText(const D3DDISPLAYMODE& mode) {
  return ModeRequestText({mode.Width, mode.Height, mode.RefreshRate});
}

// The first format in `formats` whose name is `wanted`, or the first format when nothing is
// wanted.
std::optional<D3DFORMAT> Pick(const std::vector<D3DFORMAT>& formats, const std::optional<std::string>& wanted) {
  for (D3DFORMAT format : formats) {
    if (!wanted || FormatFromName(*wanted) == format) return format;
  }
  return std::nullopt;
}

void AddOnce(std::vector<std::string>& names, std::string name) {
  if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
}

// A format without a name cannot be asked for, so it is not listed as a choice.
void AddFormatOnce(std::vector<std::string>& names, D3DFORMAT format) {
  if (FormatFromName(FormatName(format)) == format) AddOnce(names, FormatName(format));
}

std::string JoinOrNone(const std::vector<std::string>& names) {
  if (names.empty()) return "none";
  std::string text;
  for (const std::string& name : names) {
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

ChoiceResult NotOffered(std::string message) { return {ChoiceOutcome::kNotOffered, std::move(message)}; }

}  // namespace

std::string ModeRequestText(const ModeRequest& mode) {
  std::string text = std::to_string(mode.width);
  text += 'x';
  text += std::to_string(mode.height);
  if (mode.refreshRate) {
    text += '@';
    text += std::to_string(*mode.refreshRate);
  }
  return text;
}

ChoiceResult ChooseSettings(IDirect3D9& d3d, const SettingsRequest& request, UINT& AdapterIndex,
                            D3DPRESENT_PARAMETERS& PresentParams) {
  const UINT adapterCount = d3d.GetAdapterCount();
  const UINT adapter = request.adapter.value_or(0);
  if (adapter >= adapterCount) {
    if (!request.adapter) return {ChoiceOutcome::kNothingUsable, "No display adapter is available."};
    std::vector<std::string> valid;
    for (UINT i = 0; i < adapterCount; ++i)
      valid.push_back(std::to_string(i) + " (" + AdapterDescription(d3d, i) + ")");
    return NotOffered("--adapter " + std::to_string(adapter) +
                      ": no such adapter; valid adapters: " + JoinOrNone(valid));
  }

  const std::vector<D3DDISPLAYMODE> modes = ListedModes(d3d, adapter);
  std::vector<std::string> validModes;
  std::vector<std::string> validBackBuffers;
  std::vector<std::string> validDepths;
  bool anyModeMatched = false;
  bool anyBackBufferMatched = false;
  for (const D3DDISPLAYMODE& mode : modes) {
    AddOnce(validModes, ModeChoiceText(mode));
    if (!Matches(mode, request.mode)) continue;
    anyModeMatched = true;

    const std::vector<D3DFORMAT> backBuffers = BackBufferFormats(d3d, adapter, mode.Format);
    for (D3DFORMAT format : backBuffers) AddFormatOnce(validBackBuffers, format);
    const std::optional<D3DFORMAT> backBuffer = Pick(backBuffers, request.backBuffer);
    if (!backBuffer) continue;
    anyBackBufferMatched = true;

    const std::vector<D3DFORMAT> depths = DepthFormats(d3d, adapter, mode.Format, *backBuffer);
    for (D3DFORMAT format : depths) AddFormatOnce(validDepths, format);
    const std::optional<D3DFORMAT> depth = Pick(depths, request.depth);
    if (!depth) continue;

    AdapterIndex = adapter;
    PresentParams.BackBufferWidth = mode.Width;
    PresentParams.BackBufferHeight = mode.Height;
    PresentParams.FullScreen_RefreshRateInHz = mode.RefreshRate;
    PresentParams.BackBufferFormat = *backBuffer;
    PresentParams.EnableAutoDepthStencil = TRUE;
    PresentParams.AutoDepthStencilFormat = *depth;
    return {ChoiceOutcome::kChosen, {}};
  }

  const std::string where = "adapter " + std::to_string(adapter) +
                            (request.mode ? " in mode " + ModeRequestText(*request.mode) : std::string());
  if (request.mode && !anyModeMatched) {
    return NotOffered("--mode " + ModeRequestText(*request.mode) + ": not offered by adapter " +
                      std::to_string(adapter) + "; valid modes: " + JoinOrNone(validModes));
  }
  if (request.backBuffer && !anyBackBufferMatched) {
    return NotOffered("--backbuffer " + *request.backBuffer + ": not offered by " + where +
                      "; valid back buffer formats: " + JoinOrNone(validBackBuffers));
  }
  if (request.depth && !validDepths.empty()) {
    return NotOffered("--depth " + *request.depth + ": not offered by " + where +
                      (request.backBuffer ? " with back buffer " + *request.backBuffer : std::string()) +
                      "; valid Z-buffer formats: " + JoinOrNone(validDepths));
  }
  const ChoiceOutcome outcome = request.Empty() ? ChoiceOutcome::kNothingUsable : ChoiceOutcome::kNotOffered;
  return {outcome,
          "No full-screen mode of " + where + " has both a usable back buffer format and a matching Z-buffer format."};
}

void WriteSettingsList(IDirect3D9& d3d, std::ostream& out) {
  const UINT adapterCount = d3d.GetAdapterCount();
  if (adapterCount == 0) out << "No display adapters.\n";
  for (UINT adapter = 0; adapter < adapterCount; ++adapter) {
    out << "Adapter " << adapter << ": " << AdapterDescription(d3d, adapter) << "\n";
    out << "  Display modes:\n";
    std::vector<std::string> modes;
    for (D3DFORMAT format : kDisplayFormats) FillModeList(d3d, adapter, modes, format);
    if (modes.empty()) out << "    (none)\n";
    for (const std::string& mode : modes) out << "    " << mode << "\n";

    for (D3DFORMAT display : kDisplayFormats) {
      if (d3d.GetAdapterModeCount(adapter, display) == 0) continue;
      out << "  Back buffer formats for " << FormatName(display) << " modes:\n";
      const std::vector<D3DFORMAT> backBuffers = BackBufferFormats(d3d, adapter, display);
      if (backBuffers.empty()) out << "    (none)\n";
      for (D3DFORMAT backBuffer : backBuffers) {
        out << "    " << FormatName(backBuffer) << "  Z-buffer formats:";
        const std::vector<D3DFORMAT> depths = DepthFormats(d3d, adapter, display, backBuffer);
        if (depths.empty()) out << " (none)";
        for (D3DFORMAT depth : depths) out << " " << FormatName(depth);
        out << "\n";
      }
    }
  }
}

}  // namespace rastro
