// The output box: one line of text that never wraps, read-only for the user
// but selectable, with a horizontal scroll bar always shown.
#pragma once

#include <QPlainTextEdit>

namespace quorvex::app {

class PasswordBox : public QPlainTextEdit {
    Q_OBJECT

  public:
    explicit PasswordBox(QWidget* parent = nullptr);

    // Locked: the user can select the text but not change it.
    void setLocked(bool locked);

  protected:
    // What the box's own copy puts on the clipboard carries the secret mark.
    QMimeData* createMimeDataFromSelection() const override;
};

}  // namespace quorvex::app
