#include "SettingsDialog.h"

#include <array>
#include <utility>

namespace rastro {

namespace {

enum class ControlKind { kGroupBox, kLabel, kList, kButton };

struct TemplateControl {
  int id;
  ControlKind kind;
  const char* text;
  DialogRect units;
};

// The dialog template, in tab order.
constexpr std::array<TemplateControl, 10> kTemplate{{
    {-1, ControlKind::kGroupBox, "Display configuration", {5, 5, 155, 115}},
    {-1, ControlKind::kLabel, "Display adapter:", {10, 15, 145, 10}},
    {kAdapterListId, ControlKind::kList, nullptr, {10, 25, 145, 80}},
    {-1, ControlKind::kLabel, "Display mode:", {10, 40, 145, 10}},
    {kModeListId, ControlKind::kList, nullptr, {10, 50, 145, 135}},
    {kOkButtonId, ControlKind::kButton, "OK", {5, 125, 155, 15}},
    {-1, ControlKind::kLabel, "Back buffer format:", {10, 65, 145, 10}},
    {kBackBufferListId, ControlKind::kList, nullptr, {10, 75, 145, 45}},
    {-1, ControlKind::kLabel, "Z-buffer format:", {10, 90, 145, 10}},
    {kDepthListId, ControlKind::kList, nullptr, {10, 100, 145, 55}},
}};

constexpr const char* kDialogFont = "Sans 8";

// An 8-point font throughout, and drop-down lists no taller than a line of it, as the
// template was designed for.
constexpr const char* kDialogCss =
    ".rastro-settings, .rastro-settings * { font-family: Sans; font-size: 8pt; }\n"
    ".rastro-settings combobox button, .rastro-settings button { min-height: 0; padding-top: 1px;"
    " padding-bottom: 1px; }\n";

DialogBaseUnits MeasureBaseUnits(GtkWidget* widget) {
  PangoContext* context = gtk_widget_get_pango_context(widget);
  PangoFontDescription* font = pango_font_description_from_string(kDialogFont);
  PangoLayout* layout = pango_layout_new(context);
  pango_layout_set_font_description(layout, font);
  pango_layout_set_text(layout, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", -1);
  int width = 0;
  int height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  PangoFontMetrics* metrics = pango_context_get_metrics(context, font, nullptr);
  const int fontHeight = PANGO_PIXELS(pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics));
  pango_font_metrics_unref(metrics);
  g_object_unref(layout);
  pango_font_description_free(font);
  DialogBaseUnits units{AverageCharacterWidth(width), fontHeight > 0 ? fontHeight : height};
  // A font that cannot be measured still gets the classic 8-point units.
  if (units.x <= 0 || units.y <= 0) units = {6, 13};
  return units;
}

}  // namespace

SettingsDialog::SettingsDialog(SettingsModel& model) : model_(model) {
  model_.Initialise();
  Build();
  ShowLists();
}

SettingsDialog::~SettingsDialog() {
  if (css_ && window_) {
    gtk_style_context_remove_provider_for_screen(gtk_widget_get_screen(window_), GTK_STYLE_PROVIDER(css_));
  }
  if (window_) gtk_widget_destroy(window_);
  if (css_) g_object_unref(css_);
  while (gtk_events_pending()) gtk_main_iteration();
}

void SettingsDialog::Build() {
  window_ = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(window_), "Settings");
  gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_window_set_deletable(GTK_WINDOW(window_), FALSE);
  gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
  gtk_style_context_add_class(gtk_widget_get_style_context(window_), "rastro-settings");
  css_ = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css_, kDialogCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window_), GTK_STYLE_PROVIDER(css_),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  // The close command (Escape, the window manager) turns into a delete event; refusing it
  // keeps the dialog open, since OK is the only way on.
  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDeleteEvent), this);

  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(window_));
  gtk_container_set_border_width(GTK_CONTAINER(window_), 0);
  gtk_container_set_border_width(GTK_CONTAINER(content), 0);
  gtk_box_set_spacing(GTK_BOX(content), 0);
  baseUnits_ = MeasureBaseUnits(window_);

  GtkWidget* fixed = gtk_fixed_new();
  const DialogRect size = ToPixels(kSettingsDialogUnits, baseUnits_);
  gtk_widget_set_size_request(fixed, size.width, size.height);
  gtk_box_pack_start(GTK_BOX(content), fixed, TRUE, TRUE, 0);
  // Tab goes through the controls in template order, not in the order GTK would work out
  // from their positions.
  g_signal_connect(fixed, "focus", G_CALLBACK(OnFocus), this);

  for (const TemplateControl& control : kTemplate) {
    DialogRect units = control.units;
    GtkWidget* widget = nullptr;
    switch (control.kind) {
      case ControlKind::kGroupBox: widget = groupBox_ = gtk_frame_new(control.text); break;
      case ControlKind::kLabel:
        widget = gtk_label_new(control.text);
        gtk_label_set_xalign(GTK_LABEL(widget), 0.0f);
        gtk_label_set_yalign(GTK_LABEL(widget), 0.0f);
        break;
      case ControlKind::kList:
        widget = gtk_combo_box_text_new();
        units.height = kClosedListHeight;
        g_signal_connect(widget, "changed", G_CALLBACK(OnListChanged), this);
        break;
      case ControlKind::kButton:
        widget = okButton_ = gtk_button_new_with_label(control.text);
        g_signal_connect(widget, "clicked", G_CALLBACK(OnOk), this);
        break;
    }
    if (control.id == kAdapterListId) adapterList_ = widget;
    if (control.id == kModeListId) modeList_ = widget;
    if (control.id == kBackBufferListId) backBufferList_ = widget;
    if (control.id == kDepthListId) depthList_ = widget;
    if (control.kind == ControlKind::kList || control.kind == ControlKind::kButton) tabOrder_.push_back(widget);
    const DialogRect pixels = ToPixels(units, baseUnits_);
    gtk_widget_set_size_request(widget, pixels.width, pixels.height);
    gtk_fixed_put(GTK_FIXED(fixed), widget, pixels.x, pixels.y);
  }
  gtk_widget_show_all(content);
}

GtkWidget* SettingsDialog::Control(int id) const {
  switch (id) {
    case kAdapterListId: return adapterList_;
    case kModeListId: return modeList_;
    case kOkButtonId: return okButton_;
    case kBackBufferListId: return backBufferList_;
    case kDepthListId: return depthList_;
    default: return nullptr;
  }
}

void SettingsDialog::ShowList(GtkWidget* combo, const ChoiceList& list) {
  gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(combo));
  for (const std::string& entry : list.entries)
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), entry.c_str());
  gtk_combo_box_set_active(GTK_COMBO_BOX(combo), list.selected);
}

void SettingsDialog::ShowLists(GtkWidget* changed) {
  // Only the lists below the one the user changed are re-filled. The changed list already shows
  // the choice, and a list that is emptied, even for a moment, loses the keyboard focus (an empty
  // list cannot be used) along with the user's place in the dialog.
  const std::array<std::pair<GtkWidget*, const ChoiceList*>, 4> cascade{{{adapterList_, &model_.Adapters()},
                                                                         {modeList_, &model_.Modes()},
                                                                         {backBufferList_, &model_.BackBuffers()},
                                                                         {depthList_, &model_.Depths()}}};
  bool below = changed == nullptr;
  // Re-filling a list changes its selection; that is the model speaking, not the user.
  filling_ = true;
  for (const auto& [combo, list] : cascade) {
    if (below) ShowList(combo, *list);
    below = below || combo == changed;
  }
  filling_ = false;
}

void SettingsDialog::OnListChanged(GtkComboBox* combo, gpointer self) {
  auto* dialog = static_cast<SettingsDialog*>(self);
  if (dialog->filling_) return;
  const int position = gtk_combo_box_get_active(combo);
  GtkWidget* widget = GTK_WIDGET(combo);
  if (widget == dialog->adapterList_) dialog->model_.ChooseAdapter(position);
  if (widget == dialog->modeList_) dialog->model_.ChooseMode(position);
  if (widget == dialog->backBufferList_) dialog->model_.ChooseBackBuffer(position);
  if (widget == dialog->depthList_) dialog->model_.ChooseDepth(position);
  dialog->ShowLists(widget);
}

gboolean SettingsDialog::OnFocus(GtkWidget* container, GtkDirectionType direction, gpointer self) {
  if (direction != GTK_DIR_TAB_FORWARD && direction != GTK_DIR_TAB_BACKWARD) return FALSE;  // arrows: GTK's own
  const std::vector<GtkWidget*>& order = static_cast<SettingsDialog*>(self)->tabOrder_;
  const int count = static_cast<int>(order.size());
  const int step = direction == GTK_DIR_TAB_FORWARD ? 1 : -1;
  // The control holding the window's focus, if any: coming in from outside starts at an end.
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(gtk_widget_get_toplevel(container)));
  int at = 0;
  while (at < count && !(focus && (focus == order[at] || gtk_widget_is_ancestor(focus, order[at])))) ++at;
  int position = direction == GTK_DIR_TAB_FORWARD ? 0 : count - 1;
  if (at < count) {
    // A control with parts of its own moves the focus among them first.
    if (gtk_widget_child_focus(order[at], direction)) return TRUE;
    position = at + step;
  }
  // Past the last control Tab comes round to the first (and Shift+Tab to the last): the
  // controls are all the dialog has. Returning FALSE would let GTK's own order take over.
  for (int tried = 0; tried < count; ++tried, position += step) {
    position = (position + count) % count;
    if (gtk_widget_child_focus(order[position], direction)) return TRUE;
  }
  return FALSE;
}

void SettingsDialog::OnOk(GtkButton*, gpointer self) { static_cast<SettingsDialog*>(self)->Ok(); }

gboolean SettingsDialog::OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer) { return TRUE; }

void SettingsDialog::Ok() {
  if (!adapterIndex_ || !presentParams_) return;
  problem_.clear();
  if (!model_.Accept(*adapterIndex_, *presentParams_, problem_)) {
    GtkWidget* message = gtk_message_dialog_new(GTK_WINDOW(window_), GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                                                GTK_BUTTONS_OK, "%s", problem_.c_str());
    gtk_window_set_title(GTK_WINDOW(message), "Settings");
    g_signal_connect(message, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
    gtk_widget_show(message);
    return;
  }
  accepted_ = true;
  gtk_widget_hide(window_);
  if (loop_) g_main_loop_quit(loop_);
}

void SettingsDialog::Show(UINT& AdapterIndex, D3DPRESENT_PARAMETERS& PresentParams) {
  adapterIndex_ = &AdapterIndex;
  presentParams_ = &PresentParams;
  accepted_ = false;
  gtk_widget_show(window_);
}

void SettingsDialog::Run(UINT& AdapterIndex, D3DPRESENT_PARAMETERS& PresentParams) {
  Show(AdapterIndex, PresentParams);
  if (accepted_) return;
  loop_ = g_main_loop_new(nullptr, FALSE);
  g_main_loop_run(loop_);
  g_main_loop_unref(loop_);
  loop_ = nullptr;
  while (gtk_events_pending()) gtk_main_iteration();
}

}  // namespace rastro
