// Settings chosen without the dialog: from command-line options, or the dialog's initial
// choices. Every choice is checked against the same lists the dialog would show.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "d3d9.h"

namespace rastro {

struct ModeRequest {
  UINT width = 0;
  UINT height = 0;
  std::optional<UINT> refreshRate;
};

// What the user asked for; anything left out is free.
struct SettingsRequest {
  std::optional<UINT> adapter;
  std::optional<ModeRequest> mode;
  std::optional<std::string> backBuffer;  // as FormatName prints it
  std::optional<std::string> depth;

  bool Empty() const { return !adapter && !mode && !backBuffer && !depth; }
};

enum class ChoiceOutcome {
  kChosen,
  kNotOffered,     // a requested value is not in its list; the message names the valid ones
  kNothingUsable,  // the lists leave no complete choice at all
};

struct ChoiceResult {
  ChoiceOutcome outcome = ChoiceOutcome::kNothingUsable;
  std::string message;  // empty when chosen
};

// Picks the first entry of each list, in the dialog's list order, that satisfies the request:
// the adapter asked for (else adapter 0), then the first listed mode of that size and rate
// whose back-buffer and depth lists hold the formats asked for (else their first entries).
// With an empty request this is the dialog's initial selection whenever that one is complete
// (a first mode without formats is passed over for the next one that has them). On success
// stores like the dialog's OK; otherwise stores nothing.
ChoiceResult ChooseSettings(IDirect3D9& d3d, const SettingsRequest& request, UINT& AdapterIndex,
                            D3DPRESENT_PARAMETERS& PresentParams);

// Writes, per adapter, the lists the dialog would show: modes, back-buffer formats per display
// format, depth formats per back-buffer format.
void WriteSettingsList(IDirect3D9& d3d, std::ostream& out);

// "1024x768", "1024x768@85".
std::string ModeRequestText(const ModeRequest& mode);

}  // namespace rastro
