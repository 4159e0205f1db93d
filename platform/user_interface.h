// What the converter needs of a user interface: the standard file dialog in
// open and save mode, a modal one-button message box, and one small window
// that displays a count. Back ends: desktop (GTK), terminal, and scripted (for
// tests). The procedure has no event loop; a back end that needs one pumps
// pending events inside these calls.
#pragma once

#include <string>
#include <string_view>

namespace vantrose {

enum class FileDialogMode { Open = 0, Save = 1 };

// A static window of label and one count display, as the procedure declares
// it. Sizes are in dialog units of the window font.
struct ProgressWindowSpec {
  std::string title;          // "Converting File"
  std::string font;           // "MS Sans Serif"
  int font_points = 8;
  int width = 0, height = 0;  // 107 x 33
  std::string label;          // "Converting Record #:"
  int label_x = 0, label_y = 0;
  int count_x = 0, count_y = 0, count_width = 0, count_height = 0;
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // Shows the file dialog. `filters` is "desc|pattern|desc|pattern...", the
  // first pair selected. `variable` is a fixed-length blank-padded text: its
  // value is offered as the initial name when it parses as a file name; on
  // confirmation it receives the full path, cut or blank-padded to its
  // length, and the call answers true; on cancel it is unchanged (false).
  virtual bool FileDialog(std::string_view title, std::string_view filters,
                          std::string& variable, FileDialogMode mode) = 0;

  // Modal box with `text`, empty caption, no icon and one default button
  // "OK"; returns when the user has pressed it.
  virtual void MessageBox(std::string_view text) = 0;

  // Creates the window hidden.
  virtual void OpenProgress(const ProgressWindowSpec& spec) = 0;
  // Sets the count display's text and repaints at once; the first refresh
  // shows the window and brings it to the front.
  virtual void RefreshProgress(std::string_view count_text) = 0;
  // The count will not change any more: a back end that repaints less often
  // than it is refreshed puts the last refreshed count on the screen now.
  virtual void ShowLatestProgress() {}
  // Closes every window still open (program end).
  virtual void CloseWindows() = 0;
};

}  // namespace vantrose
