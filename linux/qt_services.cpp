#include "linux/qt_services.h"

#include "linux/title_bar.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <cstdlib>
#include <vector>

namespace quorvex::desktop {

using runtime::ErrorNumber;
namespace MsgBoxResult = runtime::MsgBoxResult;
namespace MsgBoxStyle = runtime::MsgBoxStyle;

namespace {

struct ButtonChoice {
    QMessageBox::StandardButton button;
    int answer;
};

// The buttons of a style, in the order they stand in the box: Yes and No, or
// OK alone. The last one is what Esc and the close box stand for.
std::vector<ButtonChoice> ButtonsOf(int style) {
    if ((style & 7) == MsgBoxStyle::YesNo) {
        return {{QMessageBox::Yes, MsgBoxResult::Yes}, {QMessageBox::No, MsgBoxResult::No}};
    }
    return {{QMessageBox::Ok, MsgBoxResult::Ok}};
}

QMessageBox::Icon IconOf(int style) {
    switch (style & 0x70) {
        case MsgBoxStyle::Critical:
            return QMessageBox::Critical;
        case MsgBoxStyle::Exclamation:
            return QMessageBox::Warning;
        default:
            return QMessageBox::NoIcon;
    }
}

QClipboard& Clipboard() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        runtime::Raise(ErrorNumber::DeviceUnavailable);
    }
    return *clipboard;
}

}  // namespace

int QtServices::MsgBox(const runtime::String& prompt, int style, const runtime::String& title) {
    const QPointer<QWidget> had_focus = QApplication::focusWidget();
    QWidget* parent = had_focus ? had_focus->window() : QApplication::activeWindow();

    QMessageBox box(parent);
    box.setWindowTitle(QString::fromStdU16String(title));
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdU16String(prompt));
    box.setIcon(IconOf(style));
    const std::vector<ButtonChoice> buttons = ButtonsOf(style);
    for (const ButtonChoice& choice : buttons) {
        box.addButton(choice.button);
    }
    const std::size_t default_index = static_cast<std::size_t>((style >> 8) & 3);
    box.setDefaultButton(buttons[default_index < buttons.size() ? default_index : 0].button);
    box.setEscapeButton(buttons.back().button);
    // The box carries the program's title bar where its windows do.
    AddOwnTitleBar(box);
    box.exec();

    // Give the keyboard back to the control that had it, also where no window
    // manager does so.
    if (had_focus) {
        had_focus->window()->activateWindow();
        had_focus->setFocus(Qt::OtherFocusReason);
    }

    const QAbstractButton* clicked = box.clickedButton();
    for (const ButtonChoice& choice : buttons) {
        if (clicked == box.button(choice.button)) {
            return choice.answer;
        }
    }
    return buttons.back().answer;
}

double QtServices::Rnd() {
    return random_.NextDouble();
}

void QtServices::Randomize() {
    random_.Reset();
}

void QtServices::ClipboardClear() {
    Clipboard().clear();
}

void QtServices::ClipboardSetText(const runtime::String& text) {
    Clipboard().setMimeData(SecretTextMimeData(QString::fromStdU16String(text)));
}

runtime::Integer QtServices::PrevInstance() {
    return runtime::ToTruth(guard_.AnotherCopyRuns());
}

void QtServices::End() {
    throw runtime::ProgramEnd{EXIT_SUCCESS};
}

QMimeData* SecretTextMimeData(const QString& text) {
    auto* data = new QMimeData;
    data->setText(text);
    data->setData(QString::fromLatin1(kPasswordManagerHintFormat), QByteArrayLiteral("secret"));
    return data;
}

}  // namespace quorvex::desktop
