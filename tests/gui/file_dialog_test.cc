#include "platform/gtk/gtk_file_dialog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include <glib/gstdio.h>
#include <string>

#include "tests/gui/gtk_session.h"

namespace vantrose {
namespace {

const char kFilters[] = "Cratewise|*.crz|ALL|*.*";

std::string Padded(const std::string& text, size_t length = 260) {
  return text + std::string(length - text.size(), ' ');
}

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr ? tmp : "/tmp";
}

GtkFileChooser* MappedChooser(const char* title) {
  GtkWindow* dialog = FindWindow(GTK_TYPE_FILE_CHOOSER_DIALOG, title);
  return dialog != nullptr && gtk_widget_get_mapped(GTK_WIDGET(dialog)) ? GTK_FILE_CHOOSER(dialog)
                                                                          : nullptr;
}

void Answer(GtkFileChooser* chooser, int response) {
  gtk_dialog_response(GTK_DIALOG(chooser), response);
}

// Confirms the dialog once it names `path`: the chooser loads folders in the
// background and refuses to answer before it has the file.
bool ConfirmWhenItNames(const char* title, const std::string& path) {
  GtkFileChooser* chooser = MappedChooser(title);
  if (chooser == nullptr) return false;
  gchar* named = gtk_file_chooser_get_filename(chooser);
  const bool ready = named != nullptr && path == named;
  g_free(named);
  if (ready) Answer(chooser, GTK_RESPONSE_ACCEPT);
  return ready;
}

class FileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!GtkAvailable()) GTEST_SKIP() << "no display: run under Xvfb (tests/gui/with_xvfb.sh)";
    source_ = TempFolder() + "/dialog source.crz";
    std::ofstream(source_) << "catalogue";
  }
  void TearDown() override {
    if (!source_.empty()) std::remove(source_.c_str());
  }
  std::string source_;
};

TEST_F(FileDialogTest, OpenModeOffersTheFiltersAndStoresTheChosenPath) {
  std::vector<std::string> filter_names;
  std::string current_filter;
  ScriptedSteps steps({[&] {
    GtkFileChooser* chooser = MappedChooser("Select File to Convert");
    if (chooser == nullptr) return false;
    EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_OPEN);
    GSList* filters = gtk_file_chooser_list_filters(chooser);
    for (GSList* item = filters; item != nullptr; item = item->next) {
      filter_names.push_back(gtk_file_filter_get_name(GTK_FILE_FILTER(item->data)));
    }
    g_slist_free(filters);
    current_filter = gtk_file_filter_get_name(gtk_file_chooser_get_filter(chooser));
    gtk_file_chooser_set_filename(chooser, source_.c_str());
    return true;
  },
  [&] { return ConfirmWhenItNames("Select File to Convert", source_); }});
  std::string variable = Padded("");
  EXPECT_TRUE(RunFileDialog("Select File to Convert", kFilters, variable, FileDialogMode::Open));
  EXPECT_TRUE(steps.finished());
  EXPECT_EQ(filter_names, (std::vector<std::string>{"Cratewise", "ALL"}));
  EXPECT_EQ(current_filter, "Cratewise");
  EXPECT_EQ(variable, Padded(source_));
}

TEST_F(FileDialogTest, CancelLeavesTheVariableAsItWas) {
  ScriptedSteps steps({[&] {
    GtkFileChooser* chooser = MappedChooser("Select File to Convert");
    if (chooser != nullptr) Answer(chooser, GTK_RESPONSE_CANCEL);
    return chooser != nullptr;
  }});
  std::string variable = Padded("/somewhere/else.crz");
  EXPECT_FALSE(RunFileDialog("Select File to Convert", kFilters, variable, FileDialogMode::Open));
  EXPECT_TRUE(steps.finished());
  EXPECT_EQ(variable, Padded("/somewhere/else.crz"));
}

TEST_F(FileDialogTest, SaveModeProposesTheCurrentNameAndConfirmsReplacing) {
  std::string proposed, folder;
  bool confirms = false;
  ScriptedSteps steps({[&] {
    GtkFileChooser* chooser = MappedChooser("Select Coverted File Name");
    if (chooser == nullptr) return false;
    gchar* current_folder = gtk_file_chooser_get_current_folder(chooser);
    if (current_folder == nullptr) return false;  // still loading
    folder = current_folder;
    g_free(current_folder);
    EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_SAVE);
    confirms = gtk_file_chooser_get_do_overwrite_confirmation(chooser);
    gchar* name = gtk_file_chooser_get_current_name(chooser);
    proposed = name != nullptr ? name : "";
    g_free(name);
    gtk_file_chooser_set_current_name(chooser, "converted.crz");
    return true;
  },
  [&] { return ConfirmWhenItNames("Select Coverted File Name", TempFolder() + "/converted.crz"); }});
  std::string variable = Padded(TempFolder() + "/old target.crz");
  EXPECT_TRUE(
      RunFileDialog("Select Coverted File Name", kFilters, variable, FileDialogMode::Save));
  EXPECT_TRUE(steps.finished());
  EXPECT_TRUE(confirms);
  EXPECT_EQ(proposed, "old target.crz");
  EXPECT_EQ(folder, TempFolder());
  EXPECT_EQ(variable, Padded(TempFolder() + "/converted.crz"));
}

// A relative name is a file in the current folder, also when it looks like
// a URI scheme.
TEST_F(FileDialogTest, RelativeInitialNameIsInTheCurrentFolder) {
  gchar* before = g_get_current_dir();
  ASSERT_EQ(g_chdir(TempFolder().c_str()), 0);
  std::string proposed, folder;
  ScriptedSteps steps({[&] {
    GtkFileChooser* chooser = MappedChooser("Select Coverted File Name");
    if (chooser == nullptr) return false;
    gchar* current_folder = gtk_file_chooser_get_current_folder(chooser);
    if (current_folder == nullptr) return false;  // still loading
    folder = current_folder;
    g_free(current_folder);
    gchar* name = gtk_file_chooser_get_current_name(chooser);
    proposed = name != nullptr ? name : "";
    g_free(name);
    Answer(chooser, GTK_RESPONSE_CANCEL);
    return true;
  }});
  std::string variable = Padded("notes:v2.crz");
  EXPECT_FALSE(
      RunFileDialog("Select Coverted File Name", kFilters, variable, FileDialogMode::Save));
  EXPECT_EQ(g_chdir(before), 0);
  g_free(before);
  EXPECT_TRUE(steps.finished());
  EXPECT_EQ(folder, TempFolder());
  EXPECT_EQ(proposed, "notes:v2.crz");
}

// A chosen path longer than the variable is refused with a message and the
// dialog comes again; cutting it would name some other file.
TEST_F(FileDialogTest, PathLongerThanTheVariableIsRefusedAndAskedAgain) {
  // Three folders of 90 characters: every name is legal, the whole path is
  // longer than the 260 characters of the variable.
  std::string deep = TempFolder();
  for (char c : {'a', 'b', 'c'}) {
    deep += "/" + std::string(90, c);
    g_mkdir(deep.c_str(), 0700);
  }
  std::string message;
  ScriptedSteps steps({
      [&] {
        GtkFileChooser* chooser = MappedChooser("Select Coverted File Name");
        if (chooser == nullptr) return false;
        gtk_file_chooser_set_current_folder(chooser, deep.c_str());
        gtk_file_chooser_set_current_name(chooser, "converted.crz");
        return true;
      },
      [&] { return ConfirmWhenItNames("Select Coverted File Name", deep + "/converted.crz"); },
      [&] {
        GtkDialog* box = MappedMessageBox();
        if (box == nullptr) return false;
        message = MessageBoxText(box);
        gtk_dialog_response(box, GTK_RESPONSE_OK);
        return true;
      },
      [&] {
        GtkFileChooser* chooser = MappedChooser("Select Coverted File Name");
        if (chooser != nullptr) Answer(chooser, GTK_RESPONSE_CANCEL);
        return chooser != nullptr;
      },
  });
  std::string variable = Padded("");
  EXPECT_FALSE(
      RunFileDialog("Select Coverted File Name", kFilters, variable, FileDialogMode::Save));
  EXPECT_TRUE(steps.finished());
  EXPECT_EQ(message, "Error: Invalid Filename");
  EXPECT_EQ(variable, Padded(""));
  for (int level = 0; level < 3; ++level) {
    g_rmdir(deep.c_str());
    deep.erase(deep.rfind('/'));
  }
}

}  // namespace
}  // namespace vantrose
