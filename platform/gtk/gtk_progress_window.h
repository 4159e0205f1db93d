// The progress window of the GTK back end: a small fixed window with a static
// label and one right-aligned count display, repainted from the caller's
// loop, which has no event loop of its own.
//
// A repaint costs 0.4 ms or more (pumping the pending events and painting
// the window at once, which waits for the X server), far more than
// converting a record: a repaint per record would slow a conversion several
// times over. So a refresh repaints at most once per kRepaintInterval, and
// never more often than keeps the paints under 1/kPaintShare of the time;
// otherwise it only keeps the text, which costs a clock read. Flush puts the
// last kept text on the screen, so that a message box shows the exact count
// at which the run stopped, and that the window shows the final count while
// the run commits and builds its keys.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "platform/user_interface.h"

typedef struct _GtkWidget GtkWidget;

namespace vantrose {

class GtkProgressWindow {
 public:
  // Creates the window hidden. GTK must be initialised.
  explicit GtkProgressWindow(const ProgressWindowSpec& spec);
  ~GtkProgressWindow();
  GtkProgressWindow(const GtkProgressWindow&) = delete;
  GtkProgressWindow& operator=(const GtkProgressWindow&) = delete;

  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kRepaintInterval = std::chrono::milliseconds(20);
  static constexpr int kPaintShare = 50;

  // Shows `count_text`: the first refresh shows the window, raises it and
  // paints; later ones paint when kRepaintInterval has passed since the last
  // paint (longer after a slow paint), and otherwise keep the text for the
  // next paint.
  void Refresh(std::string_view count_text);
  // Paints the kept text if the screen does not show it yet.
  void Flush();

  bool visible() const;
  Clock::time_point next_paint() const { return next_paint_; }  // the first refresh that paints
  std::string count_text() const;       // what the count display shows
  int width() const { return width_; }  // client size in pixels
  int height() const { return height_; }

 private:
  void Paint();

  GtkWidget* window_;
  GtkWidget* count_;
  int width_ = 0, height_ = 0;
  bool shown_ = false;    // the first refresh has shown the window
  bool painted_ = true;   // the screen shows pending_
  std::string pending_;   // the text of the last refresh
  Clock::time_point next_paint_;  // a refresh before this only keeps its text
};

}  // namespace vantrose
