// The GTK 3 desktop back end of the converter's user interface.
//
// The converter has no event loop: every call here does its work and pumps
// the events pending at that moment before it returns, so that the screen is
// up to date while the caller works on. The file dialogs and the message box
// are modal and run their own loops until the user answers.

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "platform/desktop_ui.h"
#include "platform/fatal_error.h"
#include "platform/gtk/gtk_file_dialog.h"
#include "platform/gtk/gtk_message_box.h"
#include "platform/gtk/gtk_progress_window.h"

namespace vantrose {
namespace {

class GtkUserInterface;
GtkUserInterface* g_installed = nullptr;  // the interface that shows fatal errors

class GtkUserInterface final : public UserInterface {
 public:
  GtkUserInterface() {
    g_installed = this;
    SetFatalErrorDisplay(ShowFatalError);
  }
  ~GtkUserInterface() override {
    if (g_installed == this) {
      SetFatalErrorDisplay(nullptr);
      g_installed = nullptr;
    }
    CloseWindows();
  }

  bool FileDialog(std::string_view title, std::string_view filters, std::string& variable,
                  FileDialogMode mode) override {
    return RunFileDialog(title, filters, variable, mode);
  }

  // The count on the screen is brought up to date first: the box reports
  // the record at which the run stopped.
  void MessageBox(std::string_view text) override {
    FlushProgress();
    RunLoggedMessageBox(text);
  }

  // Opening again replaces the window, as reopening a declared window does.
  void OpenProgress(const ProgressWindowSpec& spec) override {
    progress_.reset();
    progress_ = std::make_unique<GtkProgressWindow>(spec);
  }

  // Without an open window there is nothing to refresh.
  void RefreshProgress(std::string_view count_text) override {
    if (progress_ != nullptr) progress_->Refresh(count_text);
  }

  void ShowLatestProgress() override { FlushProgress(); }

  void CloseWindows() override { progress_.reset(); }

 private:
  // A fatal run-time error shows in the same box as every other error, with
  // the words that FatalRuntimeError has already written to standard error.
  static void ShowFatalError(std::string_view text) {
    if (g_installed == nullptr) return;
    g_installed->FlushProgress();
    RunMessageBox("Fatal error: " + std::string(text));
  }

  void FlushProgress() {
    if (progress_ != nullptr) progress_->Flush();
  }

  std::unique_ptr<GtkProgressWindow> progress_;
};

}  // namespace

std::unique_ptr<UserInterface> MakeDesktopUserInterface() {
  // GTK would otherwise switch the whole process to the user's locale, and
  // with it number formatting and character classes under the engine. The
  // windows show only the converter's own texts, so nothing is lost.
  gtk_disable_setlocale();
  if (!gtk_init_check(nullptr, nullptr)) return nullptr;
  return std::make_unique<GtkUserInterface>();
}

}  // namespace vantrose
