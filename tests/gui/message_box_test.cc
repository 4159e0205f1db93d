#include "platform/gtk/gtk_message_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/gui/gtk_session.h"

namespace vantrose {
namespace {

std::vector<GtkWidget*> Children(GtkWidget* container) {
  std::vector<GtkWidget*> widgets;
  GList* list = gtk_container_get_children(GTK_CONTAINER(container));
  for (GList* item = list; item != nullptr; item = item->next) widgets.push_back(GTK_WIDGET(item->data));
  g_list_free(list);
  return widgets;
}

TEST(MessageBoxTest, ShowsTheTextWithOneDefaultOkButton) {
  SKIP_WITHOUT_DISPLAY();
  std::string text, button;
  bool ok_is_default = false;
  size_t buttons = 0;
  ScriptedSteps steps({[&] {
    GtkDialog* box = MappedMessageBox();
    if (box == nullptr) return false;
    for (GtkWidget* child : Children(gtk_dialog_get_content_area(box))) {
      if (GTK_IS_LABEL(child)) text += gtk_label_get_text(GTK_LABEL(child));
      EXPECT_FALSE(GTK_IS_IMAGE(child)) << "the box has no icon";
    }
    GtkWidget* ok = gtk_dialog_get_widget_for_response(box, GTK_RESPONSE_OK);
    if (ok != nullptr) {
      button = gtk_button_get_label(GTK_BUTTON(ok));
      ok_is_default = gtk_widget_has_default(ok);
      buttons = Children(gtk_widget_get_parent(ok)).size();
    }
    PressKey(GTK_WINDOW(box), GDK_KEY_Return);
    return true;
  }});
  RunMessageBox("Error: File Not Found");
  EXPECT_TRUE(steps.finished());
  EXPECT_EQ(text, "Error: File Not Found");
  EXPECT_EQ(button, "OK");
  EXPECT_TRUE(ok_is_default);
  EXPECT_EQ(buttons, 1u);
  EXPECT_EQ(FindWindow(GTK_TYPE_DIALOG, ""), nullptr);
}

// Escape and the frame's close command must not end the box; Enter does.
TEST(MessageBoxTest, OnlyOkEndsTheBox) {
  SKIP_WITHOUT_DISPLAY();
  int still_open = 0;
  auto check_still_open = [&] {
    EXPECT_NE(MappedMessageBox(), nullptr) << "the box closed without OK";
    ++still_open;
    return true;
  };
  ScriptedSteps steps({
      [] {
        GtkDialog* box = MappedMessageBox();
        if (box != nullptr) PressKey(GTK_WINDOW(box), GDK_KEY_Escape);
        return box != nullptr;
      },
      check_still_open,
      [] {
        gtk_window_close(GTK_WINDOW(MappedMessageBox()));  // the frame's close button
        return true;
      },
      check_still_open,
      [] {
        PressKey(GTK_WINDOW(MappedMessageBox()), GDK_KEY_KP_Enter);
        return true;
      },
  });
  RunMessageBox("Error: Unknown Error Posted : 112");
  EXPECT_TRUE(steps.finished());
  EXPECT_EQ(still_open, 2);
}

}  // namespace
}  // namespace vantrose
