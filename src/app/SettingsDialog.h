// The settings dialog on screen: a modal GTK dialog over the settings model, laid out from its
// dialog template in dialog units. Escape and the window's close command do nothing; OK is the
// only way out, and only once every list has a selection.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "DialogUnits.h"
#include "SettingsModel.h"

namespace rastro {

// Control identifiers, as in the template.
inline constexpr int kAdapterListId = 1000;
inline constexpr int kModeListId = 1002;
inline constexpr int kOkButtonId = 1004;
inline constexpr int kBackBufferListId = 1005;
inline constexpr int kDepthListId = 1006;

// Size of the whole dialog in dialog units.
inline constexpr DialogRect kSettingsDialogUnits{0, 0, 164, 147};

// Height of a closed drop-down list in dialog units; the template's height is that of the
// opened list.
inline constexpr int kClosedListHeight = 13;

class SettingsDialog {
 public:
  // GTK must be initialised. Fills the lists from `model`, which must outlive the dialog.
  explicit SettingsDialog(SettingsModel& model);
  ~SettingsDialog();
  SettingsDialog(const SettingsDialog&) = delete;
  SettingsDialog& operator=(const SettingsDialog&) = delete;

  // Shows the dialog and waits until OK has stored the choice.
  void Run(UINT& AdapterIndex, D3DPRESENT_PARAMETERS& PresentParams);

  // For driving the dialog step by step: Show, then let GTK run, then check Accepted.
  void Show(UINT& AdapterIndex, D3DPRESENT_PARAMETERS& PresentParams);
  bool Accepted() const { return accepted_; }
  // Why the last OK could not proceed; empty if it could.
  const std::string& Problem() const { return problem_; }

  GtkWidget* Window() const { return window_; }
  GtkWidget* Control(int id) const;
  GtkWidget* GroupBox() const { return groupBox_; }
  DialogBaseUnits BaseUnits() const { return baseUnits_; }

 private:
  static void OnListChanged(GtkComboBox* combo, gpointer self);
  static void OnOk(GtkButton* button, gpointer self);
  static gboolean OnDeleteEvent(GtkWidget* widget, GdkEvent* event, gpointer self);
  static gboolean OnFocus(GtkWidget* container, GtkDirectionType direction, gpointer self);

  void Build();
  // Shows the model's lists below `changed`, or all of them when it is null.
  void ShowLists(GtkWidget* changed = nullptr);
  static void ShowList(GtkWidget* combo, const ChoiceList& list);
  void Ok();

  SettingsModel& model_;
  GtkWidget* window_ = nullptr;
  GtkWidget* groupBox_ = nullptr;
  GtkWidget* adapterList_ = nullptr;
  GtkWidget* modeList_ = nullptr;
  GtkWidget* backBufferList_ = nullptr;
  GtkWidget* depthList_ = nullptr;
  GtkWidget* okButton_ = nullptr;
  std::vector<GtkWidget*> tabOrder_;  // the focusable controls in template order
  GtkCssProvider* css_ = nullptr;
  DialogBaseUnits baseUnits_;
  bool filling_ = false;
  bool accepted_ = false;
  std::string problem_;
  UINT* adapterIndex_ = nullptr;
  D3DPRESENT_PARAMETERS* presentParams_ = nullptr;
  GMainLoop* loop_ = nullptr;
};

}  // namespace rastro
