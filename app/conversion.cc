#include "app/conversion.h"

#include <string>

#include "app/assign_record.h"
#include "app/backup_path.h"
#include "app/check_error.h"
#include "app/count_picture.h"
#include "app/declarations.h"
#include "app/progress_window.h"
#include "app/same_file.h"
#include "engine/front/operations.h"
#include "runtime/error_state.h"
#include "runtime/open_files.h"
#include "runtime/string_stack.h"

namespace vantrose {
namespace {

constexpr std::string_view kFilters = "Cratewise|*.crz|ALL|*.*";

void Issue(int32_t operation, DeclaredFile& file, int32_t argument = 0) {
  EngineArgs args;
  args.cells[0] = argument;
  file.entry(operation, file, args);
}

// The dialog's answer is not used: a cancelled dialog leaves the variable as
// it was and the engine reports the unusable name when it is opened.
void AskFileName(UserInterface& ui, std::string_view title, FileDialogMode mode,
                 FileNameText& variable) {
  std::string text(variable.data(), variable.size());
  ui.FileDialog(title, kFilters, text, mode);
  SetFileName(variable, text);
}

}  // namespace

int32_t ConvertCatalogue(UserInterface& ui) {
  AskFileName(ui, "Select File to Convert", FileDialogMode::Open, SourceName);
  AskFileName(ui, "Select Coverted File Name", FileDialogMode::Save, TargetName);

  // A backup path too long for its variable is left blank rather than cut (a
  // cut path names some other file); COPY to no name does nothing. The copy's
  // outcome is not examined either way: the run goes on without a backup.
  const std::string backup = BackupPath();
  SetFileName(SourceNameBack, backup.size() < kFileNameLength ? backup : std::string());
  PushString(std::string(SourceNameBack.data(), SourceNameBack.size()));
  Issue(op::COPY, REELBIN1);

  Issue(op::OPEN, REELBIN1, kConversionOpenMode);
  if (int32_t code = CheckError(ui)) return code;
  Issue(op::SETfile, REELBIN1);

  // CREATE on the source's own file would empty the catalogue being
  // converted (and write into a file that the conversion only reads).
  if (NamesOnePhysicalFile(FileNameOf(SourceName), FileNameOf(TargetName))) {
    PostFileError(ERR_FILE_ALREADY_OPEN, &REELBIN2);
    return CheckError(ui);
  }
  Issue(op::CREATE, REELBIN2);
  if (int32_t code = CheckError(ui)) return code;
  Issue(op::OPEN, REELBIN2, kConversionOpenMode);
  if (int32_t code = CheckError(ui)) return code;

  Issue(op::STREAM, REELBIN1);
  Issue(op::STREAM, REELBIN2);
  ui.OpenProgress(ProgressWindow());
  for (;;) {
    Issue(op::NEXT, REELBIN1);
    if (Errors().code == ERR_RECORD_NOT_AVAILABLE) break;
    // Any other failure of NEXT leaves IN:RECORD as it was; going on would
    // append the previous record again for as long as the failure lasts.
    if (int32_t code = CheckError(ui)) return code;
    AssignRecord();
    Issue(op::APPEND, REELBIN2);
    if (int32_t code = CheckError(ui)) return code;
    ++Count;
    ui.RefreshProgress(FormatCountN8(Count));
  }
  // The commit and key build that follow take a while: the window shows the
  // final count during them, not the last one a throttled repaint caught.
  ui.ShowLatestProgress();

  // The target's commit, key build and close are tested: a full disk there
  // must not end the run looking like a success. The source was only read.
  Issue(op::FLUSH, REELBIN1);
  Issue(op::FLUSH, REELBIN2);
  if (int32_t code = CheckError(ui)) return code;
  Issue(op::BUILDfile, REELBIN2);
  if (int32_t code = CheckError(ui)) return code;
  Issue(op::CLOSE, REELBIN1);
  Issue(op::CLOSE, REELBIN2);
  return CheckError(ui);
}

int RunConverter(UserInterface& ui) {
  StartProgram();
  const int32_t reported = ConvertCatalogue(ui);
  ui.CloseWindows();
  CloseAllDeclaredFiles();
  return reported == 0 ? 0 : 1;
}

}  // namespace vantrose
