// GTK for the window tests: initialised once per test program; tests that
// need a display skip when none can be opened.
#pragma once

#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vantrose {

inline bool GtkAvailable() {
  static const bool available = [] {
    gtk_disable_setlocale();
    return gtk_init_check(nullptr, nullptr) != FALSE;
  }();
  return available;
}

#define SKIP_WITHOUT_DISPLAY() \
  if (!GtkAvailable()) GTEST_SKIP() << "no display: run under Xvfb (tests/gui/with_xvfb.sh)"

inline void PumpEvents() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

// Pumps events until `done` answers true or `seconds` have passed.
inline bool PumpUntil(const std::function<bool()>& done, double seconds = 5) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    gtk_main_iteration_do(FALSE);
    g_usleep(1000);
  }
  return true;
}

// The visible toplevel window of `type` whose title is `title`, or nullptr.
inline GtkWindow* FindWindow(GType type, const char* title) {
  GtkWindow* found = nullptr;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item != nullptr; item = item->next) {
    GtkWindow* window = GTK_WINDOW(item->data);
    const char* window_title = gtk_window_get_title(window);
    if (G_TYPE_CHECK_INSTANCE_TYPE(window, type) && gtk_widget_get_visible(GTK_WIDGET(window)) &&
        g_strcmp0(window_title != nullptr ? window_title : "", title) == 0) {
      found = window;
    }
  }
  g_list_free(windows);
  return found;
}

// Drives modal windows from timer callbacks inside their own loops: each
// tick runs the current step until it answers true, then moves to the next.
// After ten seconds the steps fail the test and answer every dialog still up
// (also when all steps ran but a window failed to close), so that a broken
// window never hangs the suite.
class ScriptedSteps {
 public:
  using Step = std::function<bool()>;
  explicit ScriptedSteps(std::vector<Step> steps) : steps_(std::move(steps)) {
    source_ = g_timeout_add(50, Tick, this);
  }
  ~ScriptedSteps() { g_source_remove(source_); }
  ScriptedSteps(const ScriptedSteps&) = delete;
  ScriptedSteps& operator=(const ScriptedSteps&) = delete;
  bool finished() const { return next_ == steps_.size(); }

 private:
  static gboolean Tick(gpointer self_pointer) {
    auto* self = static_cast<ScriptedSteps*>(self_pointer);
    if (++self->ticks_ > 200) {
      bool dialog_up = false;
      GList* windows = gtk_window_list_toplevels();
      for (GList* item = windows; item != nullptr; item = item->next) {
        if (GTK_IS_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data))) {
          dialog_up = true;
          gtk_dialog_response(GTK_DIALOG(item->data), GTK_RESPONSE_OK);
        }
      }
      g_list_free(windows);
      if ((dialog_up || !self->finished()) && !self->failed_) {
        self->failed_ = true;
        ADD_FAILURE() << "window steps timed out after step " << self->next_;
      }
    } else if (!self->finished() && self->steps_[self->next_]()) {
      ++self->next_;
    }
    return G_SOURCE_CONTINUE;
  }

  std::vector<Step> steps_;
  size_t next_ = 0;
  int ticks_ = 0;
  bool failed_ = false;
  guint source_ = 0;
};

// The message box when it is up and mapped, else nullptr.
inline GtkDialog* MappedMessageBox() {
  GtkWindow* box = FindWindow(GTK_TYPE_DIALOG, "");
  return box != nullptr && gtk_widget_get_mapped(GTK_WIDGET(box)) ? GTK_DIALOG(box) : nullptr;
}

// The text of the message box `box`.
inline std::string MessageBoxText(GtkDialog* box) {
  std::string text;
  GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_dialog_get_content_area(box)));
  for (GList* item = children; item != nullptr; item = item->next) {
    if (GTK_IS_LABEL(item->data)) text += gtk_label_get_text(GTK_LABEL(item->data));
  }
  g_list_free(children);
  return text;
}

// A key press and release on `window`, delivered as the keyboard's events
// are (the window passes them to its focus widget and key bindings).
inline void PressKey(GtkWindow* window, guint key) {
  GdkWindow* gdk_window = gtk_widget_get_window(GTK_WIDGET(window));
  GdkDisplay* display = gdk_window_get_display(gdk_window);
  GdkDevice* keyboard = gdk_seat_get_keyboard(gdk_display_get_default_seat(display));
  GdkKeymapKey* keys = nullptr;
  gint key_count = 0;
  gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), key, &keys, &key_count);
  for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
    GdkEvent* event = gdk_event_new(type);
    event->key.window = GDK_WINDOW(g_object_ref(gdk_window));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.keyval = key;
    event->key.hardware_keycode = key_count > 0 ? static_cast<guint16>(keys[0].keycode) : 0;
    gdk_event_set_device(event, keyboard);
    gtk_main_do_event(event);
    gdk_event_free(event);
  }
  g_free(keys);
}

}  // namespace vantrose
