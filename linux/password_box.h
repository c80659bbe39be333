// The output box: one line of text that never wraps, read-only for the user
// but selectable, with a horizontal scroll bar always shown.
#pragma once

#include <QPlainTextEdit>

namespace quorvex::desktop {

class PasswordBox : public QPlainTextEdit {
    Q_OBJECT

  public:
    explicit PasswordBox(QWidget* parent = nullptr);

  protected:
    // Read-only, the text stays selectable by keyboard as well as by mouse.
    void changeEvent(QEvent* event) override;
    // Only a deliberate copy (Ctrl+C, Ctrl+Insert, the menu's Copy) gives the
    // selection away, marked secret. Selecting text (the X11 PRIMARY
    // selection, which any program and clipboard managers read unasked) and
    // dragging it out get nothing.
    QMimeData* createMimeDataFromSelection() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    bool copying_ = false;
};

}  // namespace quorvex::desktop
