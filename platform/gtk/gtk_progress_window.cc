#include "platform/gtk/gtk_progress_window.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <string>

namespace vantrose {
namespace {

// The declared font is a Windows face; here the desktop's own sans-serif face
// stands in for it at the declared size.
std::string FontCss(const ProgressWindowSpec& spec) {
  return "* { font-family: Sans; font-size: " + std::to_string(spec.font_points) + "pt; }";
}

void UseFont(GtkWidget* widget, GtkCssProvider* font) {
  gtk_style_context_add_provider(gtk_widget_get_style_context(widget),
                                 GTK_STYLE_PROVIDER(font),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

struct PixelSize {
  int width = 0, height = 0;
};

// Size of `text` in the font of `styled`.
PixelSize TextSize(GtkWidget* styled, const char* text) {
  PangoLayout* layout = gtk_widget_create_pango_layout(styled, text);
  PixelSize size;
  pango_layout_get_pixel_size(layout, &size.width, &size.height);
  g_object_unref(layout);
  return size;
}

// Dialog units of a font, as dialogs lay out their controls: a horizontal
// unit is a quarter of the font's average character width (the width of the
// 52 Latin letters divided by 52, rounded), a vertical unit an eighth of its
// line height.
struct DialogUnits {
  int base_x = 1, base_y = 1;
  int X(int units) const { return (units * base_x + 2) / 4; }
  int Y(int units) const { return (units * base_y + 4) / 8; }
};

DialogUnits MeasureDialogUnits(GtkWidget* styled) {
  const PixelSize letters =
      TextSize(styled, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  DialogUnits units;
  units.base_x = std::max(1, (letters.width + 26) / 52);
  units.base_y = std::max(1, letters.height);
  return units;
}

// The window offers no close command; a window manager that shows one anyway
// gets no answer.
gboolean RefuseDelete(GtkWidget*, GdkEvent*, gpointer) { return TRUE; }

}  // namespace

GtkProgressWindow::GtkProgressWindow(const ProgressWindowSpec& spec) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), spec.title.c_str());
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_window_set_deletable(GTK_WINDOW(window_), FALSE);
  gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
  g_signal_connect(window_, "delete-event", G_CALLBACK(RefuseDelete), nullptr);

  GtkCssProvider* font = gtk_css_provider_new();
  gtk_css_provider_load_from_data(font, FontCss(spec).c_str(), -1, nullptr);

  GtkWidget* layout = gtk_fixed_new();
  GtkWidget* label = gtk_label_new(spec.label.c_str());
  count_ = gtk_label_new("");
  for (GtkWidget* widget : {window_, layout, label, count_}) UseFont(widget, font);
  g_object_unref(font);
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  gtk_label_set_xalign(GTK_LABEL(count_), 1.0f);  // the count reads right-aligned
  gtk_label_set_single_line_mode(GTK_LABEL(count_), TRUE);

  gtk_fixed_put(GTK_FIXED(layout), label, 0, 0);
  gtk_fixed_put(GTK_FIXED(layout), count_, 0, 0);
  gtk_container_add(GTK_CONTAINER(window_), layout);

  // Measured in place, where the widgets have their final style.
  const DialogUnits units = MeasureDialogUnits(label);
  // The count display keeps its declared right edge. It is widened to the
  // left when the font needs more room than the declared width for an
  // eight-digit count, since a display that cut digits off would show a
  // wrong number; the window widens if the static text would be overlapped.
  const int label_right = units.X(spec.label_x) + TextSize(label, spec.label.c_str()).width;
  const int count_width = std::max(units.X(spec.count_width), TextSize(count_, "99,999,999").width);
  const int count_left = std::max(units.X(spec.count_x + spec.count_width) - count_width,
                                  label_right + units.X(2));
  width_ = std::max(units.X(spec.width), count_left + count_width + units.X(4));
  height_ = units.Y(spec.height);

  gtk_fixed_move(GTK_FIXED(layout), label, units.X(spec.label_x), units.Y(spec.label_y));
  gtk_fixed_move(GTK_FIXED(layout), count_, count_left, units.Y(spec.count_y));
  gtk_widget_set_size_request(count_, count_width, units.Y(spec.count_height));
  gtk_widget_set_size_request(layout, width_, height_);
  gtk_widget_show_all(layout);  // the window itself stays hidden until the first refresh
}

GtkProgressWindow::~GtkProgressWindow() {
  gtk_widget_destroy(window_);
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void GtkProgressWindow::Refresh(std::string_view count_text) {
  pending_.assign(count_text);
  if (shown_ && Clock::now() < next_paint_) {
    painted_ = false;
    return;
  }
  Paint();
}

void GtkProgressWindow::Flush() {
  if (!painted_) Paint();
}

void GtkProgressWindow::Paint() {
  const Clock::time_point start = Clock::now();
  gtk_label_set_text(GTK_LABEL(count_), pending_.c_str());
  if (!shown_) {
    shown_ = true;
    gtk_widget_show(window_);
    gtk_window_present(GTK_WINDOW(window_));
  }
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  // The frame clock would paint at its next frame, which a caller without an
  // event loop never gets to; the count must be on the screen now.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  if (GdkWindow* gdk_window = gtk_widget_get_window(window_)) {
    gdk_window_process_updates(gdk_window, TRUE);
  }
  G_GNUC_END_IGNORE_DEPRECATIONS
  painted_ = true;
  // A display that answers slowly (a remote or busy X server) makes a paint
  // cost milliseconds; the pause after a paint grows with it, so that the
  // paints never take more than 1/kPaintShare of the caller's time.
  const Clock::time_point end = Clock::now();
  next_paint_ = end + std::max(kRepaintInterval, (end - start) * (kPaintShare - 1));
}

bool GtkProgressWindow::visible() const { return gtk_widget_get_visible(window_); }

std::string GtkProgressWindow::count_text() const {
  return gtk_label_get_text(GTK_LABEL(count_));
}

}  // namespace vantrose
