#include "runtime/qt_services.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <cstdlib>
#include <vector>

namespace quorvex::runtime {

namespace {

struct ButtonChoice {
    QMessageBox::StandardButton button;
    int answer;
};

// The buttons of a style, in the order they stand in the box.
std::vector<ButtonChoice> ButtonsOf(int style) {
    using B = QMessageBox;
    switch (style & 7) {
        case 1:
            return {{B::Ok, MsgBoxResult::Ok}, {B::Cancel, MsgBoxResult::Cancel}};
        case 2:
            return {{B::Abort, 3}, {B::Retry, 4}, {B::Ignore, 5}};
        case 3:
            return {{B::Yes, MsgBoxResult::Yes},
                    {B::No, MsgBoxResult::No},
                    {B::Cancel, MsgBoxResult::Cancel}};
        case 4:
            return {{B::Yes, MsgBoxResult::Yes}, {B::No, MsgBoxResult::No}};
        case 5:
            return {{B::Retry, 4}, {B::Cancel, MsgBoxResult::Cancel}};
        default:
            return {{B::Ok, MsgBoxResult::Ok}};
    }
}

QMessageBox::Icon IconOf(int style) {
    switch (style & 0x70) {
        case MsgBoxStyle::Critical:
            return QMessageBox::Critical;
        case MsgBoxStyle::Question:
            return QMessageBox::Question;
        case MsgBoxStyle::Exclamation:
            return QMessageBox::Warning;
        case MsgBoxStyle::Information:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

// The button that Esc and the close box stand for: Cancel where there is one,
// No in a Yes/No box, OK when it is alone.
QMessageBox::StandardButton EscapeOf(const std::vector<ButtonChoice>& buttons) {
    for (const ButtonChoice& choice : buttons) {
        if (choice.button == QMessageBox::Cancel) {
            return choice.button;
        }
    }
    for (const ButtonChoice& choice : buttons) {
        if (choice.button == QMessageBox::No) {
            return choice.button;
        }
    }
    return buttons.size() == 1 ? buttons.front().button : QMessageBox::NoButton;
}

}  // namespace

int QtServices::MsgBox(const QString& prompt, int style, const QString& title) {
    const QPointer<QWidget> had_focus = QApplication::focusWidget();
    QWidget* parent = had_focus ? had_focus->window() : QApplication::activeWindow();

    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setText(prompt);
    box.setIcon(IconOf(style));
    const std::vector<ButtonChoice> buttons = ButtonsOf(style);
    for (const ButtonChoice& choice : buttons) {
        box.addButton(choice.button);
    }
    const std::size_t default_index = static_cast<std::size_t>((style >> 8) & 3);
    box.setDefaultButton(buttons[default_index < buttons.size() ? default_index : 0].button);
    if (const QMessageBox::StandardButton escape = EscapeOf(buttons);
        escape != QMessageBox::NoButton) {
        box.setEscapeButton(escape);
    }
    box.exec();

    // Give the keyboard back to the control that had it, also where no window
    // manager does so.
    if (had_focus) {
        had_focus->window()->activateWindow();
        had_focus->setFocus(Qt::OtherFocusReason);
    }

    const QAbstractButton* clicked = box.clickedButton();
    for (const ButtonChoice& choice : buttons) {
        if (clicked != nullptr && clicked == box.button(choice.button)) {
            return choice.answer;
        }
    }
    // Closed without a button where no escape button exists.
    return buttons.front().answer;
}

double QtServices::Rnd() {
    return random_.NextDouble();
}

void QtServices::Randomize() {
    random_.Reset();
}

void QtServices::ClipboardClear() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        Raise(ErrorNumber::DeviceUnavailable);
    }
    clipboard->clear();
}

void QtServices::ClipboardSetText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        Raise(ErrorNumber::DeviceUnavailable);
    }
    clipboard->setMimeData(SecretTextMimeData(text));
}

Integer QtServices::PrevInstance() {
    return ToTruth(lock_.AnotherCopyRuns());
}

void QtServices::End() {
    std::exit(EXIT_SUCCESS);
}

QMimeData* SecretTextMimeData(const QString& text) {
    auto* data = new QMimeData;
    data->setText(text);
    data->setData(QString::fromLatin1(kPasswordManagerHintFormat), QByteArrayLiteral("secret"));
    return data;
}

}  // namespace quorvex::runtime
