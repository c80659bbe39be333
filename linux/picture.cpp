#include "linux/picture.h"

#include "runtime/contrast.h"

#include <QIconEngine>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPixmapCache>
#include <QPointer>
#include <QPushButton>
#include <algorithm>
#include <cmath>

namespace quorvex::desktop {

namespace {

// The ratios the picture script renders besides 1, as the build finds them
// among the pictures.
constexpr double kRenderedRatios[] = {QUORVEX_PICTURE_RATIOS};

// The ink the pictures are drawn in: palette entry 0 of the GIFs.
const QColor kDrawnInk(1, 1, 1);

constexpr double kMinContrast = 4.5;

// The ink of a picture in front of `background`: invalid (keep the drawn
// near-black) while that reads at 4.5:1 or better, else `text` where it
// does, else black or white, whichever reads better.
QColor PictureInk(const QColor& background, const QColor& text) {
    if (ContrastRatio(kDrawnInk, background) >= kMinContrast) {
        return {};
    }
    if (ContrastRatio(text, background) >= kMinContrast) {
        return text;
    }
    const QColor white(255, 255, 255);
    const QColor black(0, 0, 0);
    return ContrastRatio(white, background) >= ContrastRatio(black, background) ? white : black;
}

// The render to start from: the ratio itself where the script made one,
// else the next larger (scaled down, which keeps edges sharp), else the
// largest.
double SourceRatio(qreal ratio) {
    if (ratio <= 1.0) {
        return 1.0;
    }
    double source = *std::max_element(std::begin(kRenderedRatios), std::end(kRenderedRatios));
    for (double rendered : kRenderedRatios) {
        if (rendered >= ratio - 0.001 && rendered < source) {
            source = rendered;
        }
    }
    return source;
}

QString SourceFile(const Picture& picture, double ratio) {
    if (ratio == 1.0) {
        return picture.base + QStringLiteral(".gif");
    }
    return picture.base + QStringLiteral("@%1x.png").arg(ratio);
}

QPixmap Render(const Picture& picture, qreal ratio, const QColor& ink) {
    const double source_ratio = SourceRatio(ratio);
    // The format named: no probing of the file for it.
    QImage image(SourceFile(picture, source_ratio), source_ratio == 1.0 ? "GIF" : "PNG");
    const QSize device_size(static_cast<int>(std::lround(picture.size.width() * ratio)),
                            static_cast<int>(std::lround(picture.size.height() * ratio)));
    if (source_ratio != ratio && ratio > 1.0) {
        image = image.scaled(device_size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (ink.isValid()) {
        // Only the ink's opacity is kept: every pixel takes the new colour.
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), ink);
    }
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    pixmap.setDevicePixelRatio(ratio > 1.0 ? ratio : 1.0);
    return pixmap;
}

// The picture for a device pixel ratio, with its device pixel ratio set, in
// `ink` unless that is invalid; at ratio 1 it is the GIF itself. Kept in
// Qt's pixmap cache.
QPixmap PicturePixmap(const Picture& picture, qreal device_pixel_ratio, const QColor& ink) {
    const QString key = QStringLiteral("quorvex:%1:%2:%3")
                            .arg(picture.base)
                            .arg(device_pixel_ratio)
                            .arg(ink.isValid() ? ink.name(QColor::HexArgb) : QString());
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = Render(picture, device_pixel_ratio, ink);
        QPixmapCache::insert(key, pixmap);
    }
    return pixmap;
}

// Gives pixmaps of one picture, inked for the colours its widget has when
// it is drawn: a new colour scheme shows with the next paint. Copies, such
// as a style may keep, follow the same widget, and so keep its colours.
class PictureEngine : public QIconEngine {
  public:
    PictureEngine(Picture picture, const QWidget* widget)
        : picture_(std::move(picture)), widget_(widget) {}

    // The ratio of what is painted on, not of the screen: a grab or a render
    // into a denser pixmap gets the picture for its own pixels.
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio = painter->device()->devicePixelRatioF();
        painter->drawPixmap(rect, scaledPixmap(rect.size() * ratio, mode, state, ratio));
    }

    QSize actualSize(const QSize& size, QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        return picture_.size.boundedTo(size);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // `size` is in device pixels here; `scale` is the ratio of the screen.
    QPixmap scaledPixmap(const QSize& /*size*/, QIcon::Mode /*mode*/, QIcon::State /*state*/,
                         qreal scale) override {
        QColor ink;
        if (widget_ != nullptr) {
            const QPalette& palette = widget_->palette();
            ink = PictureInk(palette.color(widget_->backgroundRole()),
                             palette.color(widget_->foregroundRole()));
        }
        return PicturePixmap(picture_, scale, ink);
    }

    QList<QSize> availableSizes(QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        return {picture_.size};
    }

    QString key() const override { return QStringLiteral("QuorvexPicture"); }
    QIconEngine* clone() const override { return new PictureEngine(picture_, widget_); }

  private:
    Picture picture_;
    QPointer<const QWidget> widget_;
};

}  // namespace

Picture::Picture(QString resource_base)
    : base(std::move(resource_base)),
      // The GIF's header alone is read for it.
      size(QImageReader(base + QStringLiteral(".gif"), "GIF").size()) {}

double ContrastRatio(const QColor& a, const QColor& b) {
    return runtime::ContrastRatio({a.red(), a.green(), a.blue()}, {b.red(), b.green(), b.blue()});
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int side : {QUORVEX_WINDOW_ICON_SIZES}) {
        icon.addFile(QStringLiteral(":/icons/quorvex-%1.png").arg(side), QSize(side, side));
    }
    return icon;
}

void ShowButtonPicture(QPushButton* button, const Picture& picture) {
    button->setIconSize(picture.size);
    button->setIcon(QIcon(new PictureEngine(picture, button)));
}

PictureLabel::PictureLabel(const Picture& picture, QWidget* parent)
    : QLabel(parent), icon_(new PictureEngine(picture, this)) {
    // The same pixmap the first paint on a light screen at ratio 1 takes
    // from the cache: the GIF is read once.
    setPixmap(PicturePixmap(picture, 1.0, QColor()));
}

void PictureLabel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    icon_.paint(&painter, rect(), Qt::AlignLeft | Qt::AlignTop);
}

}  // namespace quorvex::desktop
