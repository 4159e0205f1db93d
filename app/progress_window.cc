#include "app/progress_window.h"

namespace vantrose {

const ProgressWindowSpec& ProgressWindow() {
  static const ProgressWindowSpec spec = [] {
    ProgressWindowSpec s;
    s.title = "Converting File";
    s.font = "MS Sans Serif";
    s.font_points = 8;
    s.width = 107;
    s.height = 33;
    s.label = "Converting Record #:";
    s.label_x = 4;
    s.label_y = 13;
    s.count_x = 74;
    s.count_y = 12;
    s.count_width = 24;
    s.count_height = 12;
    return s;
  }();
  return spec;
}

}  // namespace vantrose
