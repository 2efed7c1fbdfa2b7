#include "ui/tv_view.h"

#include <QActionGroup>
#include <QLabel>
#include <QMenu>

#include "picture/tv_preview.h"
#include "sample/sample_picture.h"
#include "ui/artwork.h"
#include "ui/window_support.h"

namespace kws {

namespace {

const QString kViewDisplayKey = QStringLiteral("view/display");
const QString kViewGuidesKey = QStringLiteral("view/guides");

}  // namespace

// The views stay at hand while a run goes on: they never change the picture.
void TvView::BuildMenu(QMenu* view) {
  const auto settings = Settings();
  view_display_ = StoredChoice(*settings, kViewDisplayKey, ParseDisplay, Display::kSquare);
  view_guides_ = StoredChoice(*settings, kViewGuidesKey, ParseSwitch, false);
  struct Shape {
    Display display;
    const char* name;
    const char* text;
  };
  const Shape shapes[] = {{Display::k4x3, "ViewTv4x3", "As on a &4:3 TV"},
                          {Display::k16x9, "ViewTv16x9", "As on a 1&6:9 TV"},
                          {Display::kSquare, "ViewPixels", "&Pixels"}};
  auto* group = new QActionGroup(view);
  group->setExclusive(true);
  shapes_ = group;
  for (const Shape& shape : shapes) {
    QAction* action = view->addAction(QString::fromLatin1(shape.text));
    action->setObjectName(QString::fromLatin1(shape.name));
    action->setCheckable(true);
    action->setChecked(shape.display == view_display_);
    action->setData(static_cast<int>(shape.display));
    group->addAction(action);
    QObject::connect(action, &QAction::triggered, image_,
                     [this, display = shape.display] { SetView(display, view_guides_); });
  }
  view->addSeparator();
  QAction* guides = view->addAction(QStringLiteral("Safe-area &guides"));
  guides->setObjectName(QStringLiteral("SafeAreaGuides1"));
  guides->setCheckable(true);
  guides->setChecked(view_guides_);
  QObject::connect(guides, &QAction::toggled, image_, [this](bool on) { SetView(view_display_, on); });
  Present();
}

void TvView::SetView(Display display, bool guides) {
  view_display_ = display;
  view_guides_ = guides;
  const auto settings = Settings();
  settings->setValue(kViewDisplayKey, QString::fromStdString(DisplayName(display)));
  settings->setValue(kViewGuidesKey, guides);
  Present();
}

void TvView::ShowAs(Display display) {
  if (shapes_) {
    for (QAction* action : shapes_->actions()) {
      if (action->data().toInt() == static_cast<int>(display)) action->setChecked(true);
    }
  }
  SetView(display, view_guides_);
}

void TvView::Show(const QImage& image, std::optional<Picture8> picture) {
  shown_image_ = image;
  shown_picture_ = std::move(picture);
  Present();
}

void TvView::ShowSample() {
  Picture8 sample = MakeSamplePicture();
  const QImage image = PictureImage(sample);
  Show(image, std::move(sample));
}

void TvView::SetScale(double scale) {
  preview_scale_ = scale;
  Present();
}

// Pixels without guides is the image as loaded, shown as it always was. A
// TV view is the picture as the TV renders it (guides by the same drawing
// as the command line's preview), fitted into the preview keeping its
// shape. A file that is no receiver picture shows as loaded in any view.
void TvView::Present() {
  const bool as_loaded = !shown_picture_ || (view_display_ == Display::kSquare && !view_guides_);
  image_->setAlignment(as_loaded ? Qt::AlignLeft | Qt::AlignTop : Qt::AlignCenter);
  image_->setScaledContents(as_loaded && preview_scale_ < 1.0);
  if (as_loaded) {
    image_->setPixmap(QPixmap::fromImage(shown_image_));
    return;
  }
  TvPreviewOptions options;
  options.display = view_display_;
  options.guides = view_guides_;
  QImage tv = RenderTvPreview(*shown_picture_, options);
  if (tv.size() != image_->size()) tv = tv.scaled(image_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
  image_->setPixmap(QPixmap::fromImage(tv));
}

}  // namespace kws
