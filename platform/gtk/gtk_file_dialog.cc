#include "platform/gtk/gtk_file_dialog.h"

#include <gtk/gtk.h>

#include "platform/gtk/file_dialog_fields.h"
#include "platform/gtk/gtk_message_box.h"

namespace vantrose {
namespace {

// Owns one string that GLib allocated.
struct OwnedText {
  explicit OwnedText(gchar* owned) : text(owned) {}
  OwnedText(const OwnedText&) = delete;
  OwnedText& operator=(const OwnedText&) = delete;
  ~OwnedText() { g_free(text); }
  gchar* const text;
};

void AddFilters(GtkFileChooser* chooser, std::string_view list) {
  bool first = true;
  for (const FileFilter& filter : ParseFilterList(list)) {
    GtkFileFilter* gtk_filter = gtk_file_filter_new();
    gtk_file_filter_set_name(gtk_filter, filter.description.c_str());
    for (const std::string& pattern : filter.patterns) {
      gtk_file_filter_add_pattern(gtk_filter, pattern.c_str());
    }
    gtk_file_chooser_add_filter(chooser, gtk_filter);  // takes the floating ref
    if (first) gtk_file_chooser_set_filter(chooser, gtk_filter);
    first = false;
  }
}

// Offers `name` the way the chooser of each mode takes it: the open dialog
// selects an existing file (or opens its folder), the save dialog opens the
// folder and proposes the base name.
// A relative name is taken from the current folder. (The name is a path,
// never a URI: "notes:v2.crz" is a file name.)
void OfferInitialName(GtkFileChooser* chooser, const std::string& name, FileDialogMode mode,
                      const char* current_folder) {
  OwnedText path{g_path_is_absolute(name.c_str())
                     ? g_strdup(name.c_str())
                     : g_build_filename(current_folder, name.c_str(), nullptr)};
  GFile* file = g_file_new_for_path(path.text);
  GFile* folder = g_file_get_parent(file);
  OwnedText base{g_file_get_basename(file)};
  if (folder != nullptr && g_file_query_file_type(folder, G_FILE_QUERY_INFO_NONE, nullptr) ==
                               G_FILE_TYPE_DIRECTORY) {
    gtk_file_chooser_set_current_folder_file(chooser, folder, nullptr);
  }
  if (mode == FileDialogMode::Save) {
    if (base.text != nullptr && name.back() != '/') gtk_file_chooser_set_current_name(chooser, base.text);
  } else if (g_file_query_exists(file, nullptr)) {
    gtk_file_chooser_select_file(chooser, file, nullptr);
  }
  if (folder != nullptr) g_object_unref(folder);
  g_object_unref(file);
}

}  // namespace

bool RunFileDialog(std::string_view title, std::string_view filters, std::string& variable,
                   FileDialogMode mode) {
  std::string caption(title);
  const bool save = mode == FileDialogMode::Save;
  GtkFileChooserNative* dialog = gtk_file_chooser_native_new(
      caption.c_str(), nullptr, save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN,
      save ? "_Save" : "_Open", "_Cancel");
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_local_only(chooser, TRUE);  // the engine opens local paths only
  gtk_file_chooser_set_select_multiple(chooser, FALSE);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser, save);
  AddFilters(chooser, filters);
  // Without a usable name the dialog starts in the current folder, where a
  // relative name would also be resolved, rather than in the recent files.
  OwnedText current_folder{g_get_current_dir()};
  gtk_file_chooser_set_current_folder(chooser, current_folder.text);
  if (std::optional<std::string> name = InitialFileName(variable)) {
    OfferInitialName(chooser, *name, mode, current_folder.text);
  }

  bool confirmed = false;
  while (gtk_native_dialog_run(GTK_NATIVE_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    OwnedText path{gtk_file_chooser_get_filename(chooser)};
    // The chooser lets a typed name through in open mode even when no such
    // file exists; only an existing file can be confirmed for reading. The
    // texts are the engine's own for these errors.
    if (path.text != nullptr && mode == FileDialogMode::Open &&
        !g_file_test(path.text, G_FILE_TEST_IS_REGULAR)) {
      RunLoggedMessageBox("Error: File Not Found");
      continue;
    }
    if (path.text != nullptr && StoreChosenPath(path.text, variable)) {
      confirmed = true;
      break;
    }
    // The path does not fit the variable (or is no local path): cutting it
    // would name another file, so the user is told and chooses again.
    RunLoggedMessageBox("Error: Invalid Filename");
  }
  gtk_native_dialog_destroy(GTK_NATIVE_DIALOG(dialog));
  g_object_unref(dialog);
  // Let the dialog vanish from the screen before the caller goes on working
  // without an event loop.
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  return confirmed;
}

}  // namespace vantrose
