// The window's handwritten pictures ("Generate", "Password length:",
// "Password:") as the screen needs them: drawn for the device's pixels at
// every scale, and with ink that stays readable on dark colour schemes.
#pragma once

#include <QColor>
#include <QIcon>
#include <QLabel>
#include <QSize>
#include <QString>

class QPushButton;

namespace quorvex::desktop {

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

// The program's icon in the sizes task bars and window lists ask for, each
// file decoded when first asked for: on Wayland, where the compositor takes
// the icon from the desktop file, none is.
QIcon ProgramIcon();

// Gives a button its picture, inked for the button's colours whenever it is
// drawn.
void ShowButtonPicture(QPushButton* button, const Picture& picture);

// A picture holder that paints its picture for the screen it is on and in
// the ink its colours call for. The 1x picture stays set as its pixmap, so
// its size and what it reports are those of the picture.
class PictureLabel : public QLabel {
    Q_OBJECT

  public:
    PictureLabel(const Picture& picture, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QIcon icon_;
};

}  // namespace quorvex::desktop
