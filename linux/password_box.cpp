#include "linux/password_box.h"

#include "linux/key_codes.h"
#include "linux/qt_services.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QTextCursor>
#include <QTextDocument>
#include <memory>

namespace quorvex::desktop {

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

void PasswordBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ReadOnlyChange && isReadOnly()) {
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    }
    QPlainTextEdit::changeEvent(event);
}

QMimeData* PasswordBox::createMimeDataFromSelection() const {
    if (!copying_) {
        return new QMimeData;
    }
    return SecretTextMimeData(textCursor().selectedText());
}

void PasswordBox::keyPressEvent(QKeyEvent* event) {
    // The box's own shortcuts (Ctrl+A, Ctrl+C) work on the same keys under a
    // non-Latin layout as the window's copy shortcut does.
    const int key = ShortcutKey(*event);
    QKeyEvent latin(event->type(), key, event->modifiers(), event->nativeScanCode(),
                    event->nativeVirtualKey(), event->nativeModifiers(), event->text(),
                    event->isAutoRepeat(), static_cast<quint16>(event->count()));
    QKeyEvent* const shortcut = key == event->key() ? event : &latin;
    // A deliberate copy is marked for as long as it runs.
    const QScopedValueRollback copying(copying_, shortcut->matches(QKeySequence::Copy));
    QPlainTextEdit::keyPressEvent(shortcut);
    event->setAccepted(shortcut->isAccepted());
}

void PasswordBox::contextMenuEvent(QContextMenuEvent* event) {
    const std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    // The menu's Copy is a deliberate copy too; nothing else in the menu is.
    for (QAction* action : menu->actions()) {
        if (action->objectName() == u"edit-copy") {
            action->disconnect();
            connect(action, &QAction::triggered, this, [this] {
                const QScopedValueRollback copying(copying_, true);
                copy();
            });
        }
    }
    menu->exec(event->globalPos());
}

}  // namespace quorvex::desktop
