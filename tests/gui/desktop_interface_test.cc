#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "platform/desktop_ui.h"
#include "platform/fatal_error.h"
#include "tests/gui/gtk_session.h"

namespace vantrose {
namespace {

// A corruption report outside any engine operation ends the program; on the
// desktop its text shows in the message box first, and the program ends only
// after OK.
TEST(DesktopInterfaceDeathTest, FatalErrorShowsInTheMessageBoxBeforeTheEnd) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::unique_ptr<UserInterface> desktop = MakeDesktopUserInterface();
        if (desktop == nullptr) std::_Exit(0);
        ScriptedSteps steps({[] {
          GtkDialog* box = MappedMessageBox();
          if (box == nullptr) return false;
          std::fprintf(stderr, "box shows <%s>\n", MessageBoxText(box).c_str());
          PressKey(GTK_WINDOW(box), GDK_KEY_Return);
          return true;
        }});
        FatalRuntimeError("Memory Corrupted");
      },
      ::testing::ExitedWithCode(3), "box shows <Fatal error: Memory Corrupted>");
}

TEST(DesktopInterfaceTest, NoDisplayMeansNoDesktop) {
  if (GtkAvailable()) GTEST_SKIP() << "a display is open";
  EXPECT_EQ(MakeDesktopUserInterface(), nullptr);
}

}  // namespace
}  // namespace vantrose
