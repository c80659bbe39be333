#include "app/picture.h"

#include <QEvent>
#include <QIconEngine>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPixmapCache>
#include <QPushButton>
#include <array>
#include <cmath>

namespace quorvex::app {

namespace {

// The ratios the picture script renders besides 1.
constexpr std::array<double, 4> kRenderedRatios = {1.25, 1.5, 2, 3};

// The ink the pictures are drawn in: palette entry 0 of the GIFs.
const QColor kDrawnInk(1, 1, 1);

constexpr double kMinContrast = 4.5;

double Linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& colour) {
    return 0.2126 * Linear(colour.redF()) + 0.7152 * Linear(colour.greenF()) +
           0.0722 * Linear(colour.blueF());
}

// The render to start from: the ratio itself where the script made one,
// else the next larger (scaled down, which keeps edges sharp), else the
// largest.
double SourceRatio(qreal ratio) {
    if (ratio <= 1.0) {
        return 1.0;
    }
    for (double rendered : kRenderedRatios) {
        if (rendered >= ratio - 0.001) {
            return rendered;
        }
    }
    return kRenderedRatios.back();
}

// A pixmap kept in Qt's pixmap cache under `key`, made once by `make`.
template <typename Make>
QPixmap Cached(const QString& key, Make make) {
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = make();
        QPixmapCache::insert(key, pixmap);
    }
    return pixmap;
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

// Gives pixmaps of one picture in one ink. The ink is part of the engine,
// and so of its copies: an icon copied by a style keeps its colour.
class PictureEngine : public QIconEngine {
  public:
    PictureEngine(Picture picture, QColor ink) : picture_(std::move(picture)), ink_(ink) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode /*mode*/,
               QIcon::State /*state*/) override {
        const qreal ratio = painter->device()->devicePixelRatioF();
        const QPixmap pixmap = PicturePixmap(picture_, ratio, ink_);
        const QSize size = picture_.size.scaled(rect.size(), Qt::KeepAspectRatio);
        painter->drawPixmap(QRect(rect.topLeft(), size), pixmap);
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
        return PicturePixmap(picture_, scale, ink_);
    }

    QList<QSize> availableSizes(QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        return {picture_.size};
    }

    QString key() const override { return QStringLiteral("QuorvexPicture"); }
    QIconEngine* clone() const override { return new PictureEngine(picture_, ink_); }

  private:
    Picture picture_;
    QColor ink_;
};

// The icon's files, one a size, read on demand.
class IconFilesEngine : public QIconEngine {
  public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio = painter->device()->devicePixelRatioF();
        painter->drawPixmap(rect, pixmap(rect.size() * ratio, mode, state));
    }

    QSize actualSize(const QSize& size, QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        return FileSize(size).boundedTo(size);
    }

    // The file of the size asked for, else of the next larger size, else
    // the largest, scaled to the size.
    QPixmap pixmap(const QSize& size, QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        const QSize file_size = FileSize(size);
        const QString file = QStringLiteral(":/icons/quorvex-%1.png").arg(file_size.width());
        const QPixmap pixmap = Cached(file, [&file] { return QPixmap(file, "PNG"); });
        const QSize wanted = file_size.boundedTo(size);
        return wanted == file_size
                   ? pixmap
                   : pixmap.scaled(wanted, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

    QList<QSize> availableSizes(QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        QList<QSize> sizes;
        for (int side : kSides) {
            sizes.append(QSize(side, side));
        }
        return sizes;
    }

    QString key() const override { return QStringLiteral("QuorvexIcon"); }
    QIconEngine* clone() const override { return new IconFilesEngine; }

  private:
    static constexpr std::array<int, 4> kSides = {16, 24, 32, 48};

    static QSize FileSize(const QSize& size) {
        for (int side : kSides) {
            if (side >= size.width() && side >= size.height()) {
                return {side, side};
            }
        }
        return {kSides.back(), kSides.back()};
    }
};

// Keeps a button's picture inked for the button's colours, from the start
// and after every change of them.
class ButtonPicture : public QObject {
  public:
    ButtonPicture(QPushButton* button, Picture picture)
        : QObject(button), picture_(std::move(picture)) {
        button->setIconSize(picture_.size);
        Ink(button);
        button->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::PaletteChange) {
            Ink(static_cast<QPushButton*>(watched));
        }
        return false;
    }

  private:
    void Ink(QPushButton* button) const {
        const QPalette& palette = button->palette();
        button->setIcon(PictureIcon(picture_, PictureInk(palette.color(QPalette::Button),
                                                         palette.color(QPalette::ButtonText))));
    }

    Picture picture_;
};

}  // namespace

Picture::Picture(QString resource_base)
    : base(std::move(resource_base)),
      // The GIF's header alone is read for it.
      size(QImageReader(base + QStringLiteral(".gif"), "GIF").size()) {}

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

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

QPixmap PicturePixmap(const Picture& picture, qreal device_pixel_ratio, const QColor& ink) {
    const QString key = QStringLiteral("quorvex:%1:%2:%3")
                            .arg(picture.base)
                            .arg(device_pixel_ratio)
                            .arg(ink.isValid() ? ink.name(QColor::HexArgb) : QString());
    return Cached(key, [&] { return Render(picture, device_pixel_ratio, ink); });
}

QIcon ProgramIcon() {
    return QIcon(new IconFilesEngine);
}

QIcon PictureIcon(const Picture& picture, const QColor& ink) {
    return QIcon(new PictureEngine(picture, ink));
}

void ShowButtonPicture(QPushButton* button, const Picture& picture) {
    new ButtonPicture(button, picture);
}

PictureLabel::PictureLabel(Picture picture, QWidget* parent)
    : QLabel(parent), picture_(std::move(picture)) {
    // The same pixmap the first paint on a light screen at ratio 1 takes
    // from the cache: the GIF is read once.
    setPixmap(PicturePixmap(picture_, 1.0, QColor()));
}

void PictureLabel::paintEvent(QPaintEvent* /*event*/) {
    // The palette is read at each paint, so a new colour scheme shows at once.
    const QColor ink =
        PictureInk(palette().color(backgroundRole()), palette().color(foregroundRole()));
    QPainter painter(this);
    // The ratio of what is painted on, not of the screen: a grab or a render
    // into a denser pixmap gets the picture for its own pixels.
    const qreal ratio = painter.device()->devicePixelRatioF();
    painter.drawPixmap(QPoint(0, 0), PicturePixmap(picture_, ratio, ink));
}

}  // namespace quorvex::app
