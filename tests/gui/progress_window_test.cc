#include "platform/gtk/gtk_progress_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tests/gui/gtk_session.h"

namespace vantrose {
namespace {

ProgressWindowSpec ConverterSpec() {
  ProgressWindowSpec spec;
  spec.title = "Converting File";
  spec.font = "MS Sans Serif";
  spec.font_points = 8;
  spec.width = 107;
  spec.height = 33;
  spec.label = "Converting Record #:";
  spec.label_x = 4;
  spec.label_y = 13;
  spec.count_x = 74;
  spec.count_y = 12;
  spec.count_width = 24;
  spec.count_height = 12;
  return spec;
}

// The pixels of the window's client area as they are on the screen now.
GdkPixbuf* Grab(GtkWindow* window) {
  GdkWindow* gdk_window = gtk_widget_get_window(GTK_WIDGET(window));
  return gdk_pixbuf_get_from_window(gdk_window, 0, 0, gdk_window_get_width(gdk_window),
                                    gdk_window_get_height(gdk_window));
}

bool SamePixels(GdkPixbuf* a, GdkPixbuf* b) {
  if (gdk_pixbuf_get_width(a) != gdk_pixbuf_get_width(b) ||
      gdk_pixbuf_get_height(a) != gdk_pixbuf_get_height(b))
    return false;
  const size_t bytes = static_cast<size_t>(gdk_pixbuf_get_rowstride(a)) *
                       static_cast<size_t>(gdk_pixbuf_get_height(a));
  return memcmp(gdk_pixbuf_read_pixels(a), gdk_pixbuf_read_pixels(b), bytes) == 0;
}

TEST(ProgressWindowTest, HiddenUntilTheFirstRefreshThenShowsTheCount) {
  SKIP_WITHOUT_DISPLAY();
  GtkProgressWindow progress(ConverterSpec());
  PumpEvents();
  EXPECT_FALSE(progress.visible());
  EXPECT_EQ(FindWindow(GTK_TYPE_WINDOW, "Converting File"), nullptr);

  progress.Refresh("       1");
  EXPECT_TRUE(progress.visible());
  GtkWindow* window = FindWindow(GTK_TYPE_WINDOW, "Converting File");
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(gtk_window_get_resizable(window));
  EXPECT_FALSE(gtk_window_get_deletable(window));
  EXPECT_EQ(progress.count_text(), "       1");

  progress.Refresh("   1,234");
  progress.Flush();
  EXPECT_EQ(progress.count_text(), "   1,234");

  // No close command: a close request leaves the window up.
  gtk_window_close(window);
  PumpEvents();
  EXPECT_TRUE(progress.visible());
}

TEST(ProgressWindowTest, SizeFollowsTheDeclaredDialogUnits) {
  SKIP_WITHOUT_DISPLAY();
  GtkProgressWindow progress(ConverterSpec());
  // 107 x 33 units of an 8-point face: a small window, wider than high, that
  // holds the label and an eight-digit count without cutting either.
  EXPECT_GT(progress.width(), 2 * progress.height());
  EXPECT_GE(progress.height(), 33 * 8 / 8);
  EXPECT_LE(progress.width(), 400);

  progress.Refresh("99,999,999");
  PumpUntil([&] {
    GtkAllocation allocation;
    gtk_widget_get_allocation(gtk_bin_get_child(GTK_BIN(FindWindow(GTK_TYPE_WINDOW,
                                                                   "Converting File"))),
                              &allocation);
    return allocation.width == progress.width();
  });
  GtkWindow* window = FindWindow(GTK_TYPE_WINDOW, "Converting File");
  ASSERT_NE(window, nullptr);
  int width = 0, height = 0;
  gtk_window_get_size(window, &width, &height);
  EXPECT_EQ(width, progress.width());
  EXPECT_EQ(height, progress.height());
}

// The caller has no event loop: a refresh that paints has the count on the
// screen when it returns, and Flush puts the last count there even when the
// refreshes came too fast to paint each.
TEST(ProgressWindowTest, CountIsOnTheScreenWithoutAnEventLoop) {
  SKIP_WITHOUT_DISPLAY();
  GtkProgressWindow progress(ConverterSpec());
  progress.Refresh("       1");
  GtkWindow* window = FindWindow(GTK_TYPE_WINDOW, "Converting File");
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(window)); }));
  g_usleep(100000);
  PumpEvents();
  auto after_the_interval = [&] { std::this_thread::sleep_until(progress.next_paint()); };

  after_the_interval();
  progress.Refresh("       7");
  GdkPixbuf* seven = Grab(window);
  after_the_interval();
  progress.Refresh("       8");
  GdkPixbuf* eight = Grab(window);
  for (const char* text : {"       9", "      10", "       7"}) progress.Refresh(text);
  progress.Flush();
  GdkPixbuf* seven_again = Grab(window);
  ASSERT_TRUE(seven && eight && seven_again);
  EXPECT_FALSE(SamePixels(seven, eight));
  EXPECT_TRUE(SamePixels(seven, seven_again));
  EXPECT_EQ(progress.count_text(), "       7");
  g_object_unref(seven);
  g_object_unref(eight);
  g_object_unref(seven_again);
}

// The cost of one refresh per record, as the converter's loop pays it:
// VANTROSE_GUI_BENCH=N runs N records of simulated work (busy for
// VANTROSE_GUI_BENCH_WORK_US microseconds each, default 20) with and without
// a refresh after each, and prints both times.
TEST(ProgressWindowTest, RefreshCost) {
  SKIP_WITHOUT_DISPLAY();
  const char* runs_text = std::getenv("VANTROSE_GUI_BENCH");
  if (runs_text == nullptr) GTEST_SKIP() << "set VANTROSE_GUI_BENCH=100000 to measure";
  const long runs = std::atol(runs_text);
  const char* work_text = std::getenv("VANTROSE_GUI_BENCH_WORK_US");
  const auto work = std::chrono::microseconds(work_text != nullptr ? std::atol(work_text) : 20);
  using Clock = std::chrono::steady_clock;
  auto convert_records = [&](GtkProgressWindow* progress) {
    char text[24];
    const Clock::time_point start = Clock::now();
    for (long i = 1; i <= runs; ++i) {
      const Clock::time_point busy_until = Clock::now() + work;
      while (Clock::now() < busy_until) {
      }
      if (progress != nullptr) {
        std::snprintf(text, sizeof text, "%8ld", i);
        progress->Refresh(text);
      }
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
  };
  GtkProgressWindow progress(ConverterSpec());
  const double without = convert_records(nullptr);
  const double with = convert_records(&progress);
  std::printf("%ld records of %lld us: %.3f s without refreshes, %.3f s with (%+.1f%%)\n", runs,
              static_cast<long long>(work.count()), without, with, 100 * (with - without) / without);
}

}  // namespace
}  // namespace vantrose
