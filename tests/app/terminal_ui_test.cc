#include "platform/terminal_ui.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/command_line.h"
#include "tests/support/files.h"

namespace vantrose {
namespace {

namespace fs = std::filesystem;

// A terminal interface over a scripted input and a captured output.
class TerminalTest : public ::testing::Test {
 protected:
  TerminalTest() {
    std::ofstream(dir_ / "old.crz") << "x";
    out_ = std::tmpfile();
    cwd_ = fs::current_path();
  }
  ~TerminalTest() override {
    fs::current_path(cwd_);
    if (in_ != nullptr) std::fclose(in_);
    std::fclose(out_);
  }
  TerminalUserInterface& Ui(const std::string& input, bool terminal = false) {
    input_ = input;
    in_ = ::fmemopen(input_.data(), input_.size(), "r");
    ui_.emplace(in_, out_, terminal);
    return *ui_;
  }
  std::string Output() {
    std::fflush(out_);
    std::string text;
    std::rewind(out_);
    for (int c; (c = std::fgetc(out_)) != EOF;) text += static_cast<char>(c);
    return text;
  }
  static std::string Padded(std::string text, size_t length = 260) {
    text.resize(length, ' ');
    return text;
  }

  testing::ScratchDir scratch_;
  const fs::path dir_ = scratch_.path();
  fs::path cwd_;
  std::string input_;
  std::FILE* in_ = nullptr;
  std::FILE* out_;
  std::optional<TerminalUserInterface> ui_;
};

TEST_F(TerminalTest, OpenDialogTakesOnlyAnExistingFileAsAFullPath) {
  const std::string missing = (dir_ / "missing.crz").string();
  std::string variable = Padded("");
  fs::current_path(dir_);
  EXPECT_TRUE(Ui(missing + "\n" + dir_.string() + "\nold.crz\n")
                  .FileDialog("Select File to Convert", "Cratewise|*.crz|ALL|*.*", variable,
                              FileDialogMode::Open));
  EXPECT_EQ(variable, Padded((dir_ / "old.crz").string()));
  const std::string shown = Output();
  EXPECT_NE(shown.find("Select File to Convert"), std::string::npos);
  EXPECT_NE(shown.find("Cratewise (*.crz), ALL (*.*)"), std::string::npos);
  EXPECT_NE(shown.find(missing + " does not exist"), std::string::npos);
  EXPECT_NE(shown.find(" is a folder"), std::string::npos);
}

TEST_F(TerminalTest, EmptyAnswerOrEndOfInputCancelsAndKeepsTheVariable) {
  for (const std::string input : {"\n", "", "\nlater\n"}) {
    std::string variable = Padded("kept");
    EXPECT_FALSE(Ui(input).FileDialog("t", "ALL|*.*", variable, FileDialogMode::Save));
    EXPECT_EQ(variable, Padded("kept"));
  }
}

TEST_F(TerminalTest, SaveDialogAsksBeforeReplacingAndRefusesNamesThatDoNotFit) {
  const std::string existing = (dir_ / "old.crz").string();
  const std::string fresh = (dir_ / "new.crz").string();
  const std::string too_long = (dir_ / std::string(40, 'n')).string();
  std::string variable = Padded("", existing.size() + 10);
  EXPECT_TRUE(Ui(too_long + "\n" + existing + "\nn\n" + (dir_ / "nofolder" / "x").string() +
                 "\n" + fresh + "\n")
                  .FileDialog("Select Coverted File Name", "ALL|*.*", variable,
                              FileDialogMode::Save));
  EXPECT_EQ(variable, Padded(fresh, existing.size() + 10));
  const std::string shown = Output();
  EXPECT_NE(shown.find("longer than"), std::string::npos);
  EXPECT_NE(shown.find("already exists. Replace it?"), std::string::npos);
  EXPECT_NE(shown.find("does not exist"), std::string::npos);

  EXPECT_TRUE(Ui(existing + "\ny\n").FileDialog("t", "ALL|*.*", variable, FileDialogMode::Save));
  EXPECT_EQ(variable, Padded(existing, existing.size() + 10));
}

TEST_F(TerminalTest, ProgressDoesNotFloodALogButShowsTheLatestCount) {
  TerminalUserInterface& ui = Ui("");
  ProgressWindowSpec spec;
  spec.label = "Converting Record #:";
  ui.OpenProgress(spec);
  EXPECT_EQ(Output(), "");  // opened hidden
  for (int i = 1; i <= 100000; ++i) ui.RefreshProgress(std::to_string(i));
  ui.MessageBox("Error: Access Denied");
  ui.CloseWindows();
  const std::string shown = Output();
  EXPECT_LE(std::count(shown.begin(), shown.end(), '\n'), 4);
  EXPECT_NE(shown.find("Converting Record #: 1\n"), std::string::npos);
  EXPECT_NE(shown.find("Converting Record #: 100000\nError: Access Denied\n"), std::string::npos);
}

TEST_F(TerminalTest, ProgressOnATerminalIsRedrawnInPlace) {
  TerminalUserInterface& ui = Ui("", true);
  ProgressWindowSpec spec;
  spec.label = "Converting Record #:";
  ui.OpenProgress(spec);
  for (int i = 1; i <= 1000; ++i) ui.RefreshProgress(std::to_string(i));
  ui.CloseWindows();
  const std::string shown = Output();
  EXPECT_EQ(shown.rfind("\rConverting Record #: 1000\n"), shown.size() - 27);
  EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 1);
}

TEST_F(TerminalTest, LatestProgressIsShownOnceTheCountStopsChanging) {
  TerminalUserInterface& ui = Ui("", true);
  ProgressWindowSpec spec;
  spec.label = "Converting Record #:";
  ui.OpenProgress(spec);
  for (int i = 1; i <= 1000; ++i) ui.RefreshProgress(std::to_string(i));
  ui.ShowLatestProgress();  // before the long commit and key build
  const std::string shown = Output();
  EXPECT_EQ(shown.substr(shown.rfind('\r')), "\rConverting Record #: 1000");
  ui.ShowLatestProgress();  // nothing new to draw
  EXPECT_EQ(Output(), shown);
  ui.CloseWindows();
}

TEST(PresetNamesTest, AnswersBothNamesAsFullPathsAndNeverCutsOne) {
  TerminalUserInterface display(stdin, stderr, false);
  const std::string cwd = fs::current_path().string();
  PresetNamesUserInterface ui(display, "a/../src.crz", "/abs/dst.crz");
  std::string first(260, ' '), second(260, ' '), third(260, ' ');
  EXPECT_TRUE(ui.FileDialog("", "", first, FileDialogMode::Open));
  EXPECT_EQ(first.substr(0, first.find_last_not_of(' ') + 1), cwd + "/src.crz");
  EXPECT_TRUE(ui.FileDialog("", "", second, FileDialogMode::Save));
  EXPECT_EQ(second.substr(0, 13), "/abs/dst.crz ");
  EXPECT_FALSE(ui.FileDialog("", "", third, FileDialogMode::Save));

  PresetNamesUserInterface long_names(display, "/" + std::string(300, 's'), "t");
  std::string variable(260, ' ');
  EXPECT_FALSE(long_names.FileDialog("", "", variable, FileDialogMode::Open));
  EXPECT_EQ(variable, std::string(260, ' '));
}

TEST(CommandLineTest, ChoosesTheActionFromTheArguments) {
  using Action = CommandLine::Action;
  const std::pair<std::vector<std::string>, Action> cases[] = {
      {{}, Action::Dialogs},
      {{"--help"}, Action::Help},
      {{"--version"}, Action::Version},
      {{"old.crz", "new.crz"}, Action::Convert},
      {{"old.crz"}, Action::Usage},
      {{"a", "b", "c"}, Action::Usage},
      {{"--help", "x"}, Action::Usage},
      {{"-x", "new.crz"}, Action::Usage},
      {{"", "new.crz"}, Action::Usage},
  };
  for (const auto& [arguments, action] : cases) {
    EXPECT_EQ(ParseCommandLine(arguments).action, action) << ::testing::PrintToString(arguments);
  }
  const CommandLine line = ParseCommandLine({"old.crz", "new.crz"});
  EXPECT_EQ(line.source, "old.crz");
  EXPECT_EQ(line.target, "new.crz");
}

}  // namespace
}  // namespace vantrose
