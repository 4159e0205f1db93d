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

// Without a display crzconv falls back to the terminal: the factory answers
// none instead of failing. Run in a fresh process, where GTK is not yet up.
TEST(DesktopInterfaceDeathTest, NoDisplayMeansNoDesktop) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("DISPLAY", ":987", 1);  // a display nobody serves
        unsetenv("WAYLAND_DISPLAY");
        std::_Exit(MakeDesktopUserInterface() == nullptr ? 7 : 8);
      },
      ::testing::ExitedWithCode(7), "");
}

}  // namespace
}  // namespace vantrose
