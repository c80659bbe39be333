// The runtime services on Qt: the real message boxes answered by mouse and
// keyboard, the focus coming back after a box, the clipboard and the instance check.
#include "linux/qt_services.h"

#include "linux/title_bar.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

using quorvex::desktop::InstanceGuard;
using quorvex::desktop::QtServices;
using quorvex::runtime::ProgramEnd;

namespace {

// What the box showed when it came up.
struct SeenBox {
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    int default_button = 0;
    // The buttons above the box's contents: those of a title bar it draws.
    QStringList bar_buttons;
};

// From inside the box's own event loop: waits for the modal message box,
// notes what it shows and answers it with a click on a button or with a key.
void AnswerNextBox(SeenBox* seen, const QString& answer, int tries_left = 500) {
    QTimer::singleShot(10, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            if (tries_left > 0) {
                AnswerNextBox(seen, answer, tries_left - 1);
            }
            return;
        }
        *seen = {box->windowTitle(),
                 box->text(),
                 box->textFormat(),
                 box->icon(),
                 int(box->standardButtons()),
                 int(box->standardButton(box->defaultButton())),
                 {}};
        QAbstractButton* close = nullptr;
        for (QAbstractButton* button : box->findChildren<QAbstractButton*>()) {
            if (button->mapTo(box, QPoint(0, button->height())).y() <= box->contentsRect().top()) {
                seen->bar_buttons.append(button->accessibleName());
                close = button->accessibleName() == u"Close" ? button : close;
            }
        }
        const QMap<QString, QMessageBox::StandardButton> clicks = {
            {"OK", QMessageBox::Ok}, {"Yes", QMessageBox::Yes}, {"No", QMessageBox::No}};
        if (answer == u"title bar's Close" && close != nullptr) {
            QTest::mouseClick(close, Qt::LeftButton);
        } else if (QAbstractButton* button =
                       box->button(clicks.value(answer, QMessageBox::NoButton))) {
            QTest::mouseClick(button, Qt::LeftButton);
        } else if (answer == u"Esc" || answer == u"Enter") {
            QTest::keyClick(box, answer == u"Esc" ? Qt::Key_Escape : Qt::Key_Return);
        } else {
            box->done(0);  // the button asked for is missing
        }
    });
}

}  // namespace

// A guard name of this test process alone, so that no running program and no
// other test meets it.
QByteArray TestGuardName() {
    return "quorvex-test-qt-" + QByteArray::number(getpid());
}

class TestQtServices : public QObject {
    Q_OBJECT

  private slots:
    void msgBox_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("expected");

        QTest::newRow("16, OK clicked") << 16 << "OK" << 1;
        QTest::newRow("16, Esc") << 16 << "Esc" << 1;
        QTest::newRow("308, Yes clicked") << 308 << "Yes" << 6;
        QTest::newRow("308, No clicked") << 308 << "No" << 7;
        QTest::newRow("308, Enter") << 308 << "Enter" << 7;
        QTest::newRow("308, Esc") << 308 << "Esc" << 7;
        // Where the program draws the title bars, closing the box there
        // answers as Esc does.
        QTest::newRow("16, own title bar") << 16 << "title bar's Close" << 1;
        QTest::newRow("308, own title bar") << 308 << "title bar's Close" << 7;
    }

    void msgBox() {
        QFETCH(int, style);
        QFETCH(QString, answer);
        QFETCH(int, expected);
        // Markup and doubled apostrophes are shown as written.
        const QString prompt = QStringLiteral("<b>1 & 2</b> press ''Yes''");
        const QString title = style == 16 ? QStringLiteral("Error") : QStringLiteral("Warning!");

        const bool own_bar = answer.startsWith(u"title bar");
        quorvex::desktop::SetOwnTitleBars(own_bar);
        QtServices services(guard_);
        SeenBox seen;
        AnswerNextBox(&seen, answer);
        QCOMPARE(services.MsgBox(prompt.toStdU16String(), style, title.toStdU16String()), expected);
        quorvex::desktop::SetOwnTitleBars(false);

        QCOMPARE(seen.title, title);
        QCOMPARE(seen.text, prompt);
        QCOMPARE(seen.format, Qt::PlainText);
        const bool warning = style == 308;
        QCOMPARE(seen.icon, warning ? QMessageBox::Warning : QMessageBox::Critical);
        QCOMPARE(seen.buttons, warning ? int{QMessageBox::Yes | QMessageBox::No} : QMessageBox::Ok);
        QCOMPARE(seen.default_button, warning ? QMessageBox::No : QMessageBox::Ok);
        // The bar offers no maximize, and the box's buttons lie below it.
        QCOMPARE(seen.bar_buttons, own_bar ? QStringList({"Minimize", "Close"}) : QStringList());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }

    void msgBoxGivesFocusBack() {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(new QLineEdit(&window));
        auto* edit = new QLineEdit(&window);
        layout->addWidget(edit);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        edit->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), edit);

        QtServices services(guard_);
        SeenBox seen;
        AnswerNextBox(&seen, QStringLiteral("OK"));
        QCOMPARE(services.MsgBox(u"A copy of program is allready running!", 16, u"Error"), 1);
        QTRY_COMPARE(QApplication::activeWindow(), &window);
        QCOMPARE(QApplication::focusWidget(), edit);
    }

    void clipboardHoldsSecretText() {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->setText(QStringLiteral("left over"));
        QtServices services(guard_);
        services.ClipboardClear();
        QCOMPARE(clipboard->text(), QString());

        const QString text = QStringLiteral(" a!b\"c#~ ");
        services.ClipboardSetText(text.toStdU16String());
        const QMimeData* data = clipboard->mimeData();
        QVERIFY(data != nullptr);
        QCOMPARE(data->text(), text);
        QCOMPARE(data->data(QStringLiteral("x-kde-passwordManagerHint")), QByteArray("secret"));
        QVERIFY(!data->hasHtml());
    }

    void prevInstanceAndEnd() {
        InstanceGuard first_guard(TestGuardName() + "-prev");
        QtServices first(first_guard);
        QCOMPARE(first.PrevInstance(), 0);
        // A second copy while the first holds the guard: True is -1.
        InstanceGuard second_guard(TestGuardName() + "-prev");
        QtServices second(second_guard);
        QCOMPARE(second.PrevInstance(), -1);
        QCOMPARE(second.PrevInstance(), -1);

        // The holder takes calls from the event loop and hangs up, so later
        // copies never wait on a full queue.
        first_guard.AnswerLaterCopies();
        const int caller = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        QVERIFY(caller >= 0);
        sockaddr_un address;
        const QByteArray name = InstanceGuard::NameAt(TestGuardName() + "-prev", geteuid(), 0);
        const socklen_t length = InstanceGuard::AbstractAddress(name, address);
        QCOMPARE(::connect(caller, reinterpret_cast<const sockaddr*>(&address), length), 0);
        char byte = 0;
        QTRY_COMPARE(recv(caller, &byte, 1, MSG_DONTWAIT), ssize_t{0});
        close(caller);

        QVERIFY_THROWS_EXCEPTION(ProgramEnd, second.End());
    }

  private:
    InstanceGuard guard_{TestGuardName()};
};

QTEST_MAIN(TestQtServices)
#include "test_qt_services.moc"
