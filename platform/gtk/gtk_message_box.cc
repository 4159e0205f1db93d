#include "platform/gtk/gtk_message_box.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <string>

namespace vantrose {
namespace {

// Escape emits the dialog's "close" key-binding signal, which would answer
// the box like a cancel; the box has no way out but OK.
void SwallowClose(GtkDialog* dialog, gpointer) {
  g_signal_stop_emission_by_name(dialog, "close");
}

// The frame's close command, should a window manager offer it anyway.
gboolean RefuseDelete(GtkWidget*, GdkEvent*, gpointer) { return TRUE; }

}  // namespace

void RunMessageBox(std::string_view text) {
  std::string message(text);  // GTK wants a terminated string
  GtkWidget* dialog = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(dialog), "");
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  gtk_window_set_deletable(GTK_WINDOW(dialog), FALSE);
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  gtk_container_set_border_width(GTK_CONTAINER(dialog), 6);

  GtkWidget* label = gtk_label_new(message.c_str());
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
  gtk_label_set_selectable(GTK_LABEL(label), FALSE);
  g_object_set(label, "margin", 12, nullptr);
  gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), label);

  GtkWidget* ok = gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", GTK_RESPONSE_OK);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  gtk_widget_set_can_default(ok, TRUE);
  gtk_widget_grab_default(ok);

  g_signal_connect(dialog, "close", G_CALLBACK(SwallowClose), nullptr);
  g_signal_connect(dialog, "delete-event", G_CALLBACK(RefuseDelete), nullptr);

  gtk_widget_show_all(dialog);
  gtk_widget_grab_focus(ok);
  gtk_window_present(GTK_WINDOW(dialog));
  // The reference keeps the object alive for the final destroy even if
  // something destroyed the window while it ran (gtk_dialog_run then answers
  // GTK_RESPONSE_NONE). A delete answer cannot come through RefuseDelete;
  // should one come anyway, the box stays.
  g_object_ref(dialog);
  while (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_DELETE_EVENT) {
  }
  gtk_widget_destroy(dialog);
  g_object_unref(dialog);
  // Let the box vanish from the screen before the caller goes on working
  // without an event loop.
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void RunLoggedMessageBox(std::string_view text) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
  RunMessageBox(text);
}

}  // namespace vantrose
