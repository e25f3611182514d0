// The GTK settings dialog, driven the way a user would. The tests start their own Xvfb server:
// they run on headless machines and in CI alike, and the keys they synthesise never reach the
// desktop of whoever runs them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <string>
#include <utility>

#include "Fakes.h"
#include "SettingsDialog.h"
#include "SyntheticKeys.h"

namespace rastro::testing {
namespace {

// An X server for this test process.
class VirtualDisplay {
 public:
  // Empty on success, else what went wrong.
  std::string Start() {
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    pid_ = fork();
    if (pid_ < 0) return "fork failed";
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);  // no server outlives a test that crashed
      close(fds[0]);
      const int quiet = open("/dev/null", O_WRONLY);
      if (quiet >= 0) {
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
      }
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd waiting{fds[0], POLLIN, 0};
    while (poll(&waiting, 1, 15000) > 0) {
      char c;
      if (read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    if (number.empty()) return "Xvfb did not start (is the xvfb package installed?)";
    setenv("DISPLAY", (":" + number).c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("GDK_BACKEND", "x11", 1);
    return {};
  }
  ~VirtualDisplay() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
};

FakeAdapter SmallAdapter(const char* name, UINT width) {
  FakeAdapter adapter;
  adapter.description = name;
  adapter.modes[D3DFMT_X8R8G8B8] = {{width, 480, 60, D3DFMT_X8R8G8B8}, {width + 160, 600, 60, D3DFMT_X8R8G8B8}};
  adapter.modes[D3DFMT_R5G6B5] = {{width, 480, 60, D3DFMT_R5G6B5}};
  adapter.backBuffers = {{D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8}, {D3DFMT_R5G6B5, D3DFMT_R5G6B5}};
  adapter.depthFormats = {{D3DFMT_X8R8G8B8, D3DFMT_D16}, {D3DFMT_X8R8G8B8, D3DFMT_D24S8}, {D3DFMT_R5G6B5, D3DFMT_D16}};
  adapter.depthMatches = {{D3DFMT_X8R8G8B8, D3DFMT_D24S8}, {D3DFMT_X8R8G8B8, D3DFMT_D16}, {D3DFMT_R5G6B5, D3DFMT_D16}};
  return adapter;
}

std::vector<std::string> Entries(GtkWidget* combo) {
  std::vector<std::string> entries;
  GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(combo));
  GtkTreeIter iter;
  for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more;
       more = gtk_tree_model_iter_next(model, &iter)) {
    gchar* text = nullptr;
    gtk_tree_model_get(model, &iter, 0, &text, -1);
    entries.emplace_back(text ? text : "");
    g_free(text);
  }
  return entries;
}

void Settle() {
  for (int i = 0; i < 50; ++i) {
    while (gtk_events_pending()) gtk_main_iteration();
    g_usleep(2000);
  }
}

class SettingsDialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    display_ = new VirtualDisplay;
    startProblem_ = new std::string(display_->Start());
    gtk_disable_setlocale();
    gtkReady_ = gtk_init_check(nullptr, nullptr);
  }
  static void TearDownTestSuite() {
    delete display_;
    display_ = nullptr;
    delete startProblem_;
    startProblem_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(startProblem_ == nullptr || startProblem_->empty()) << *startProblem_;
    ASSERT_TRUE(gtkReady_) << "GTK could not open the display";
    d3d.adapters = {SmallAdapter("First Adapter", 640), SmallAdapter("Second Adapter", 800)};
  }

  FakeDirect3D d3d;
  UINT adapterIndex = 77;
  D3DPRESENT_PARAMETERS params{};

  static inline VirtualDisplay* display_ = nullptr;
  static inline std::string* startProblem_ = nullptr;
  static inline bool gtkReady_ = false;
};

TEST_F(SettingsDialogTest, LaidOutLikeTheTemplate) {
  SettingsModel model(d3d);
  SettingsDialog dialog(model);
  dialog.Show(adapterIndex, params);
  Settle();

  GtkWindow* window = GTK_WINDOW(dialog.Window());
  EXPECT_STREQ(gtk_window_get_title(window), "Settings");
  EXPECT_TRUE(gtk_window_get_modal(window));
  EXPECT_FALSE(gtk_window_get_deletable(window));
  EXPECT_STREQ(gtk_frame_get_label(GTK_FRAME(dialog.GroupBox())), "Display configuration");
  EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(dialog.Control(kOkButtonId))), "OK");

  const DialogBaseUnits base = dialog.BaseUnits();
  EXPECT_GE(base.x, 4);
  EXPECT_LE(base.x, 10);
  EXPECT_GE(base.y, 9);
  EXPECT_LE(base.y, 20);
  GtkWidget* layout = gtk_widget_get_parent(dialog.GroupBox());
  struct Expected {
    GtkWidget* widget;
    DialogRect units;
  };
  const std::vector<Expected> expected{
      {dialog.GroupBox(), {5, 5, 155, 115}},
      {dialog.Control(kAdapterListId), {10, 25, 145, kClosedListHeight}},
      {dialog.Control(kModeListId), {10, 50, 145, kClosedListHeight}},
      {dialog.Control(kBackBufferListId), {10, 75, 145, kClosedListHeight}},
      {dialog.Control(kDepthListId), {10, 100, 145, kClosedListHeight}},
      {dialog.Control(kOkButtonId), {5, 125, 155, 15}},
  };
  for (const Expected& e : expected) {
    const DialogRect pixels = ToPixels(e.units, base);
    int x = -1;
    int y = -1;
    ASSERT_TRUE(gtk_widget_translate_coordinates(e.widget, layout, 0, 0, &x, &y));
    GtkAllocation allocation;
    gtk_widget_get_allocation(e.widget, &allocation);
    EXPECT_EQ(x, pixels.x) << e.units.y;
    EXPECT_EQ(y, pixels.y) << e.units.y;
    EXPECT_EQ(allocation.width, pixels.width) << e.units.y;
    EXPECT_EQ(allocation.height, pixels.height) << e.units.y;
  }
  // The labels sit above their lists, in template order.
  std::vector<std::string> labels;
  GList* children = gtk_container_get_children(GTK_CONTAINER(layout));
  for (GList* child = children; child; child = child->next) {
    if (GTK_IS_LABEL(child->data)) labels.emplace_back(gtk_label_get_text(GTK_LABEL(child->data)));
  }
  g_list_free(children);
  EXPECT_EQ(labels,
            (std::vector<std::string>{"Display adapter:", "Display mode:", "Back buffer format:", "Z-buffer format:"}));
}

TEST_F(SettingsDialogTest, ListsShowTheModelAndCascadeOnSelection) {
  SettingsModel model(d3d);
  SettingsDialog dialog(model);
  dialog.Show(adapterIndex, params);
  Settle();
  GtkWidget* adapters = dialog.Control(kAdapterListId);
  GtkWidget* modes = dialog.Control(kModeListId);
  GtkWidget* backBuffers = dialog.Control(kBackBufferListId);
  GtkWidget* depths = dialog.Control(kDepthListId);
  EXPECT_EQ(Entries(adapters), (std::vector<std::string>{"First Adapter", "Second Adapter"}));
  EXPECT_EQ(Entries(modes),
            (std::vector<std::string>{"640x480  X8R8G8B8  60Hz", "800x600  X8R8G8B8  60Hz", "640x480  R5G6B5  60Hz"}));
  EXPECT_EQ(Entries(depths), (std::vector<std::string>{"D24S8", "D16"}));
  for (GtkWidget* combo : {adapters, modes, backBuffers, depths})
    EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(combo)), 0);

  gtk_combo_box_set_active(GTK_COMBO_BOX(depths), 1);
  gtk_combo_box_set_active(GTK_COMBO_BOX(modes), 2);
  Settle();
  EXPECT_EQ(Entries(backBuffers), (std::vector<std::string>{"R5G6B5"}));
  EXPECT_EQ(Entries(depths), (std::vector<std::string>{"D16"}));
  EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(depths)), 0);

  gtk_combo_box_set_active(GTK_COMBO_BOX(adapters), 1);
  Settle();
  EXPECT_EQ(Entries(modes),
            (std::vector<std::string>{"800x480  X8R8G8B8  60Hz", "960x600  X8R8G8B8  60Hz", "800x480  R5G6B5  60Hz"}));
  EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(modes)), 0);
  EXPECT_EQ(Entries(backBuffers), (std::vector<std::string>{"X8R8G8B8"}));
}

int closeRequests = 0;

TEST_F(SettingsDialogTest, EscapeAndCloseRequestsLeaveTheDialogOpen) {
  SettingsModel model(d3d);
  SettingsDialog dialog(model);
  dialog.Show(adapterIndex, params);
  Settle();
  closeRequests = 0;
  g_signal_connect(dialog.Window(), "close", G_CALLBACK(+[](GtkDialog*, gpointer) { ++closeRequests; }), nullptr);

  GdkEvent* escape = gdk_event_new(GDK_KEY_PRESS);
  escape->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(dialog.Window())));
  escape->key.keyval = GDK_KEY_Escape;
  escape->key.time = GDK_CURRENT_TIME;
  GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
  gdk_event_set_device(escape, gdk_seat_get_keyboard(seat));
  GdkKeymapKey* keys = nullptr;
  gint keyCount = 0;
  if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()), GDK_KEY_Escape, &keys,
                                        &keyCount)) {
    escape->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
    g_free(keys);
  }
  gtk_main_do_event(escape);
  gdk_event_free(escape);
  Settle();
  EXPECT_EQ(closeRequests, 1);  // the key reached the dialog as a close request

  gtk_window_close(GTK_WINDOW(dialog.Window()));
  Settle();
  EXPECT_TRUE(gtk_widget_get_visible(dialog.Window()));
  EXPECT_FALSE(dialog.Accepted());
  EXPECT_EQ(adapterIndex, 77u);
  EXPECT_EQ(params.BackBufferWidth, 0u);
}

// Which control of the dialog holds the keyboard focus (a list's focus sits on its button).
int FocusedControl(const SettingsDialog& dialog) {
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(dialog.Window()));
  for (int id : {kAdapterListId, kModeListId, kBackBufferListId, kDepthListId, kOkButtonId}) {
    GtkWidget* control = dialog.Control(id);
    if (focus && (focus == control || gtk_widget_is_ancestor(focus, control))) return id;
  }
  return -1;
}

TEST_F(SettingsDialogTest, TabFollowsTheTemplateOrder) {
  SettingsModel model(d3d);
  SettingsDialog dialog(model);
  dialog.Show(adapterIndex, params);
  Settle();
  gtk_widget_grab_focus(dialog.Control(kAdapterListId));
  Settle();
  ASSERT_EQ(FocusedControl(dialog), kAdapterListId);
  const std::vector<int> forward{kModeListId, kOkButtonId, kBackBufferListId, kDepthListId, kAdapterListId};
  for (int expected : forward) {
    g_signal_emit_by_name(dialog.Window(), "move-focus", GTK_DIR_TAB_FORWARD);
    Settle();
    EXPECT_EQ(FocusedControl(dialog), expected);
  }
  const std::vector<int> backward{kDepthListId, kBackBufferListId, kOkButtonId, kModeListId, kAdapterListId};
  for (int expected : backward) {
    g_signal_emit_by_name(dialog.Window(), "move-focus", GTK_DIR_TAB_BACKWARD);
    Settle();
    EXPECT_EQ(FocusedControl(dialog), expected);
  }
}

void Press(const SettingsDialog& dialog, guint keyval, bool shift = false) {
  const std::string problem = PressKey(dialog.Window(), keyval, shift);
  ASSERT_EQ(problem, "");
  Settle();
}

// Rows added to each list since the last call, in the order adapter, mode, back buffer, depth.
class RefillCounter {
 public:
  explicit RefillCounter(const SettingsDialog& dialog) {
    const int ids[4] = {kAdapterListId, kModeListId, kBackBufferListId, kDepthListId};
    for (int i = 0; i < 4; ++i) {
      g_signal_connect(
          gtk_combo_box_get_model(GTK_COMBO_BOX(dialog.Control(ids[i]))), "row-inserted",
          G_CALLBACK(+[](GtkTreeModel*, GtkTreePath*, GtkTreeIter*, gpointer count) { ++*static_cast<int*>(count); }),
          &rows_[i]);
    }
  }
  std::array<int, 4> Take() { return std::exchange(rows_, {}); }

 private:
  std::array<int, 4> rows_{};
};

// Keyboard only: Tab to a list and arrow through it. The focus stays on the list being used,
// a choice re-fills only the lists below it, and Tab goes on from where the user is.
TEST_F(SettingsDialogTest, KeyboardChoicesKeepTheFocusWhereTheUserIs) {
  FakeAdapter adapter = SmallAdapter("First Adapter", 640);
  adapter.backBuffers.insert({D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8});
  adapter.depthFormats.insert({D3DFMT_X8R8G8B8, D3DFMT_D24X8});
  adapter.depthMatches = {{D3DFMT_A8R8G8B8, D3DFMT_D24S8}, {D3DFMT_A8R8G8B8, D3DFMT_D24X8},
                          {D3DFMT_A8R8G8B8, D3DFMT_D16},   {D3DFMT_X8R8G8B8, D3DFMT_D24X8},
                          {D3DFMT_X8R8G8B8, D3DFMT_D16},   {D3DFMT_R5G6B5, D3DFMT_D16}};
  d3d.adapters[0] = adapter;
  SettingsModel model(d3d);
  SettingsDialog dialog(model);
  dialog.Show(adapterIndex, params);
  Settle();
  ASSERT_TRUE(FocusWindow(dialog.Window()));
  RefillCounter refills(dialog);
  auto selected = [&dialog](int id) { return gtk_combo_box_get_active(GTK_COMBO_BOX(dialog.Control(id))); };
  ASSERT_EQ(FocusedControl(dialog), kAdapterListId);

  for (int i = 0; i < 4; ++i) Press(dialog, GDK_KEY_Tab);
  ASSERT_EQ(FocusedControl(dialog), kDepthListId);
  ASSERT_EQ(Entries(dialog.Control(kDepthListId)), (std::vector<std::string>{"D24S8", "D24X8", "D16"}));
  Press(dialog, GDK_KEY_Down);
  Press(dialog, GDK_KEY_Down);
  EXPECT_EQ(FocusedControl(dialog), kDepthListId);
  EXPECT_EQ(selected(kDepthListId), 2);
  EXPECT_EQ(selected(kAdapterListId), 0);
  EXPECT_EQ(refills.Take(), (std::array<int, 4>{0, 0, 0, 0}));

  // A new back buffer re-fills the depth list alone; Tab then goes on to it.
  Press(dialog, GDK_KEY_Tab, true);
  ASSERT_EQ(FocusedControl(dialog), kBackBufferListId);
  Press(dialog, GDK_KEY_Down);
  EXPECT_EQ(FocusedControl(dialog), kBackBufferListId);
  EXPECT_EQ(selected(kBackBufferListId), 1);
  EXPECT_EQ(Entries(dialog.Control(kDepthListId)), (std::vector<std::string>{"D24X8", "D16"}));
  EXPECT_EQ(selected(kDepthListId), 0);
  EXPECT_EQ(refills.Take(), (std::array<int, 4>{0, 0, 0, 2}));
  Press(dialog, GDK_KEY_Tab);
  EXPECT_EQ(FocusedControl(dialog), kDepthListId);
  Press(dialog, GDK_KEY_Down);
  EXPECT_EQ(selected(kDepthListId), 1);

  // A new mode re-fills the back-buffer and depth lists, each from its first entry.
  for (int i = 0; i < 3; ++i) Press(dialog, GDK_KEY_Tab, true);
  ASSERT_EQ(FocusedControl(dialog), kModeListId);
  Press(dialog, GDK_KEY_Down);
  EXPECT_EQ(FocusedControl(dialog), kModeListId);
  EXPECT_EQ(selected(kModeListId), 1);
  EXPECT_EQ(selected(kBackBufferListId), 0);
  EXPECT_EQ(selected(kDepthListId), 0);
  EXPECT_EQ(refills.Take(), (std::array<int, 4>{0, 0, 2, 3}));

  // A new adapter re-fills the three lists below it.
  Press(dialog, GDK_KEY_Tab, true);
  ASSERT_EQ(FocusedControl(dialog), kAdapterListId);
  Press(dialog, GDK_KEY_Down);
  EXPECT_EQ(FocusedControl(dialog), kAdapterListId);
  EXPECT_EQ(selected(kAdapterListId), 1);
  EXPECT_EQ(Entries(dialog.Control(kModeListId)),
            (std::vector<std::string>{"800x480  X8R8G8B8  60Hz", "960x600  X8R8G8B8  60Hz", "800x480  R5G6B5  60Hz"}));
  EXPECT_EQ(refills.Take(), (std::array<int, 4>{0, 3, 1, 2}));

  // Enter on OK takes the choice.
  Press(dialog, GDK_KEY_Tab);
  Press(dialog, GDK_KEY_Tab);
  ASSERT_EQ(FocusedControl(dialog), kOkButtonId);
  Press(dialog, GDK_KEY_Return);
  EXPECT_TRUE(dialog.Accepted());
  EXPECT_EQ(adapterIndex, 1u);
  EXPECT_EQ(params.BackBufferWidth, 800u);
  EXPECT_EQ(params.AutoDepthStencilFormat, D3DFMT_D24S8);
}

TEST_F(SettingsDialogTest, OkStoresTheChoiceAndEndsTheModalRun) {
  SettingsModel model(d3d);
  SettingsDialog dialog(model);
  struct Script {
    SettingsDialog* dialog;
    int calls = 0;
  } script{&dialog};
  // Chooses the second adapter and its second mode, then presses OK, from inside the run.
  g_timeout_add(
      50,
      +[](gpointer data) -> gboolean {
        auto* s = static_cast<Script*>(data);
        ++s->calls;
        gtk_combo_box_set_active(GTK_COMBO_BOX(s->dialog->Control(kAdapterListId)), 1);
        gtk_combo_box_set_active(GTK_COMBO_BOX(s->dialog->Control(kModeListId)), 1);
        gtk_combo_box_set_active(GTK_COMBO_BOX(s->dialog->Control(kDepthListId)), 1);
        gtk_button_clicked(GTK_BUTTON(s->dialog->Control(kOkButtonId)));
        return G_SOURCE_REMOVE;
      },
      &script);
  dialog.Run(adapterIndex, params);
  EXPECT_EQ(script.calls, 1);
  EXPECT_TRUE(dialog.Accepted());
  EXPECT_FALSE(gtk_widget_get_visible(dialog.Window()));
  EXPECT_EQ(adapterIndex, 1u);
  EXPECT_EQ(params.BackBufferWidth, 960u);
  EXPECT_EQ(params.BackBufferHeight, 600u);
  EXPECT_EQ(params.FullScreen_RefreshRateInHz, 60u);
  EXPECT_EQ(params.BackBufferFormat, D3DFMT_X8R8G8B8);
  EXPECT_EQ(params.EnableAutoDepthStencil, TRUE);
  EXPECT_EQ(params.AutoDepthStencilFormat, D3DFMT_D16);
}

TEST_F(SettingsDialogTest, OkWithAnEmptyListExplainsAndStaysOpen) {
  d3d.adapters[0].depthMatches.clear();
  SettingsModel model(d3d);
  SettingsDialog dialog(model);
  dialog.Show(adapterIndex, params);
  Settle();
  EXPECT_TRUE(Entries(dialog.Control(kDepthListId)).empty());
  gtk_button_clicked(GTK_BUTTON(dialog.Control(kOkButtonId)));
  Settle();
  EXPECT_FALSE(dialog.Accepted());
  EXPECT_NE(dialog.Problem().find("Z-buffer"), std::string::npos) << dialog.Problem();
  EXPECT_TRUE(gtk_widget_get_visible(dialog.Window()));
  EXPECT_EQ(adapterIndex, 77u);

  // Another adapter with a full set of lists lets OK through.
  gtk_combo_box_set_active(GTK_COMBO_BOX(dialog.Control(kAdapterListId)), 1);
  gtk_button_clicked(GTK_BUTTON(dialog.Control(kOkButtonId)));
  Settle();
  EXPECT_TRUE(dialog.Accepted());
  EXPECT_EQ(adapterIndex, 1u);
  EXPECT_EQ(params.AutoDepthStencilFormat, D3DFMT_D24S8);
}

}  // namespace
}  // namespace rastro::testing
