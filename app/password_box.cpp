#include "app/password_box.h"

#include "runtime/qt_services.h"

#include <QTextCursor>
#include <QTextDocument>

namespace quorvex::app {

PasswordBox::PasswordBox(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
    setUndoRedoEnabled(false);
    // The box is only a little taller than a line and its scroll bar: the
    // line goes right to the top so that it shows whole above the bar.
    document()->setDocumentMargin(1);
    setViewportMargins(3, 0, 3, 0);
}

void PasswordBox::setLocked(bool locked) {
    setReadOnly(locked);
    if (locked) {
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    }
}

QMimeData* PasswordBox::createMimeDataFromSelection() const {
    return runtime::SecretTextMimeData(textCursor().selectedText());
}

}  // namespace quorvex::app
