// The preview as the View menu chooses to present a picture: its pixels, or
// as a 4:3 or 16:9 TV shows them, with the safe areas if asked. The views
// change only how the preview presents the picture, never the picture or what
// a run makes of it.
#pragma once

#include <QImage>
#include <optional>

#include "format/bitmap.h"
#include "picture/tv_display.h"

class QActionGroup;
class QLabel;
class QMenu;

namespace kws {

class TvView {
 public:
  // image: the preview's label, which this view fills.
  explicit TvView(QLabel* image) : image_(image) {}

  // The view's choices, as last chosen, into the View menu.
  void BuildMenu(QMenu* view);
  // What the preview shows: the image as loaded, and the receiver's picture
  // it is, when it is one, for the TV views.
  void Show(const QImage& image, std::optional<Picture8> picture);
  void ShowSample();
  // The view of a TV, chosen for the user (a picture made for that TV), as
  // if from the View menu; the guides stay as they are.
  void ShowAs(Display display);
  // The preview's scale (1: the fixed layout), after the label was sized.
  void SetScale(double scale);

 private:
  // The shown picture in the chosen view, at the preview's scale.
  void Present();
  void SetView(Display display, bool guides);

  QLabel* image_;
  QActionGroup* shapes_ = nullptr;  // the View menu's displays
  QImage shown_image_;
  std::optional<Picture8> shown_picture_;
  Display view_display_ = Display::kSquare;  // the receiver's pixels
  bool view_guides_ = false;
  double preview_scale_ = 1.0;
};

}  // namespace kws
