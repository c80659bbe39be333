// The window's handwritten pictures ("Generate", "Password length:",
// "Password:") as the screen needs them: drawn for the device's pixels at
// every scale, and with ink that stays readable on dark colour schemes.
#pragma once

#include <QColor>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QSize>
#include <QString>

class QPushButton;

namespace quorvex::app {

// One picture: its resource name without extension (":/password") and its
// size in logical pixels, which is that of the picture at ratio 1.
// ":/password.gif" is the picture at ratio 1, ":/password@1.5x.png" and so
// on are renders made for higher ratios.
struct Picture {
    explicit Picture(QString resource_base);

    QString base;
    QSize size;
};

// WCAG contrast ratio of two colours, from 1 (same luminance) to 21.
double ContrastRatio(const QColor& a, const QColor& b);

// The ink of a picture in front of `background`: invalid (keep the drawn
// near-black) while that reads at 4.5:1 or better, else `text` where it
// does, else black or white, whichever reads better.
QColor PictureInk(const QColor& background, const QColor& text);

// The picture for a device pixel ratio, with its device pixel ratio set, in
// `ink` unless that is invalid. At ratio 1 it is the GIF itself.
QPixmap PicturePixmap(const Picture& picture, qreal device_pixel_ratio, const QColor& ink);

// An icon that hands out PicturePixmap for whatever ratio it is asked.
QIcon PictureIcon(const Picture& picture, const QColor& ink);

// The program's icon in the sizes task bars and window lists ask for, each
// read when first asked for: on Wayland, where the compositor takes the icon
// from the desktop file, none is.
QIcon ProgramIcon();

// Gives a button its picture, inked for the button's own colours, now and
// whenever they change.
void ShowButtonPicture(QPushButton* button, const Picture& picture);

// A picture holder that paints its picture for the screen it is on and in
// the ink its palette calls for. The 1x picture stays set as its pixmap, so
// its size and what it reports are those of the picture.
class PictureLabel : public QLabel {
    Q_OBJECT

  public:
    PictureLabel(Picture picture, QWidget* parent);

    const Picture& picture() const { return picture_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Picture picture_;
};

}  // namespace quorvex::app
