// What the settings dialog does, apart from drawing it: the four lists the Direct3D object
// fills, their cascade (adapter, then mode, then back-buffer format, then depth format) and
// storing the final choice. The GTK view and the tests drive it the same way.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "d3d9.h"

namespace rastro {

// Display formats whose modes the mode list offers, in list order.
inline constexpr std::array<D3DFORMAT, 6> kDisplayFormats{D3DFMT_A2R10G10B10, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8,
                                                          D3DFMT_X1R5G5B5,    D3DFMT_A1R5G5B5, D3DFMT_R5G6B5};

// Values tried for the back buffer and for the depth buffer, both ends inclusive.
inline constexpr DWORD kFirstBackBufferFormat = 0;
inline constexpr DWORD kLastBackBufferFormat = 52;
inline constexpr DWORD kFirstDepthFormat = 70;
inline constexpr DWORD kLastDepthFormat = 99;

// A list's selection when the list is empty.
inline constexpr int kNoSelection = -1;

// The text of a mode-list entry: "1024x768  X8R8G8B8  85Hz".
std::string ModeText(const D3DDISPLAYMODE& mode);

// Appends the entry of every mode the adapter has in `displayFormat`.
void FillModeList(IDirect3D9& d3d, UINT adapter, std::vector<std::string>& list, D3DFORMAT displayFormat);

// The mode at a running position across the display formats; false, `mode` untouched, past the
// last mode.
bool ModeAt(IDirect3D9& d3d, UINT adapter, UINT position, D3DDISPLAYMODE& mode);

// Formats usable as a full-screen back buffer over `displayFormat`, in scan order.
std::vector<D3DFORMAT> BackBufferFormats(IDirect3D9& d3d, UINT adapter, D3DFORMAT displayFormat);

// Depth formats usable with `displayFormat` and matching `backBufferFormat`, in scan order.
std::vector<D3DFORMAT> DepthFormats(IDirect3D9& d3d, UINT adapter, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat);

// The value at `position` of the back-buffer scan, D3DFMT_UNKNOWN if the scan is shorter.
D3DFORMAT BackBufferFormatAt(IDirect3D9& d3d, UINT adapter, D3DFORMAT displayFormat, UINT position);

// The value at `position` of the depth scan, D3DFMT_UNKNOWN if the scan is shorter.
D3DFORMAT DepthFormatAt(IDirect3D9& d3d, UINT adapter, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                        UINT position);

// One drop-down list: its entries and the selected position (kNoSelection when empty).
struct ChoiceList {
  std::vector<std::string> entries;
  int selected = kNoSelection;

  void Reset() {
    entries.clear();
    selected = kNoSelection;
  }
  void SelectFirst() { selected = entries.empty() ? kNoSelection : 0; }
};

class SettingsModel {
 public:
  explicit SettingsModel(IDirect3D9& d3d) : d3d_(d3d) {}

  // Fills every list for adapter 0 and selects each list's first entry.
  void Initialise();

  // A new selection re-fills the lists below it, each starting at its first entry. Positions
  // outside a list are ignored.
  void ChooseAdapter(int position);
  void ChooseMode(int position);
  void ChooseBackBuffer(int position);
  void ChooseDepth(int position);

  // Stores the selection into the shell's adapter ordinal and presentation parameters. When a
  // list is empty nothing is stored, `problem` says which choice is missing and false comes back.
  bool Accept(UINT& AdapterIndex, D3DPRESENT_PARAMETERS& PresentParams, std::string& problem) const;

  const ChoiceList& Adapters() const { return adapters_; }
  const ChoiceList& Modes() const { return modes_; }
  const ChoiceList& BackBuffers() const { return backBuffers_; }
  const ChoiceList& Depths() const { return depths_; }

 private:
  UINT SelectedAdapter() const;
  void RefillModes();
  void RefillBackBuffers();
  void RefillDepths();
  // The format of the selected mode; false when there is none.
  bool SelectedModeFormat(D3DFORMAT& format) const;

  IDirect3D9& d3d_;
  ChoiceList adapters_;
  ChoiceList modes_;
  ChoiceList backBuffers_;
  ChoiceList depths_;
};

}  // namespace rastro
