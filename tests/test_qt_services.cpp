// The runtime services on Qt: the real message boxes answered by mouse and
// keyboard, the focus coming back after a box, the clipboard, the instance
// check and the random source.
#include "runtime/qt_services.h"
#include "runtime/runtime.h"
#include "runtime/services.h"

#include <sys/stat.h>
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

using quorvex::runtime::QtServices;

namespace {

// How a test answers a message box.
enum class Answer { ClickOk, ClickYes, ClickNo, Escape, Enter, CloseBox };

// What the box looked like when it came up.
struct SeenBox {
    bool found = false;
    bool modal = false;
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    int button_count = 0;
    QMessageBox::StandardButton default_button = QMessageBox::NoButton;
    bool answered = false;
};

// Waits, from inside the box's own event loop, for the modal message box to
// come up, notes what it shows and answers it.
void AnswerNextBox(SeenBox* seen, Answer answer, int tries_left = 500) {
    QTimer::singleShot(10, [seen, answer, tries_left] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr || !box->isVisible()) {
            if (modal != nullptr) {
                // Something else came up; close it so the test can go on.
                modal->close();
                return;
            }
            if (tries_left > 0) {
                AnswerNextBox(seen, answer, tries_left - 1);
            }
            return;
        }
        seen->found = true;
        seen->modal = box->isModal();
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->format = box->textFormat();
        seen->icon = box->icon();
        seen->buttons = box->standardButtons();
        seen->button_count = static_cast<int>(box->buttons().size());
        seen->default_button = box->defaultButton() != nullptr
                                   ? box->standardButton(box->defaultButton())
                                   : QMessageBox::NoButton;

        QAbstractButton* button = nullptr;
        switch (answer) {
            case Answer::ClickOk:
                button = box->button(QMessageBox::Ok);
                break;
            case Answer::ClickYes:
                button = box->button(QMessageBox::Yes);
                break;
            case Answer::ClickNo:
                button = box->button(QMessageBox::No);
                break;
            case Answer::Escape:
                QTest::keyClick(box, Qt::Key_Escape);
                seen->answered = true;
                return;
            case Answer::Enter:
                QTest::keyClick(box, Qt::Key_Return);
                seen->answered = true;
                return;
            case Answer::CloseBox:
                // As the title bar's close button does.
                box->close();
                seen->answered = true;
                return;
        }
        if (button != nullptr) {
            QTest::mouseClick(button, Qt::LeftButton);
            seen->answered = true;
        } else {
            // The button asked for is missing: close the box and let the
            // checks on the buttons report it.
            box->done(0);
        }
    });
}

class EnvOverride {
  public:
    explicit EnvOverride(const char* name)
        : name_(name), was_set_(qEnvironmentVariableIsSet(name)), old_value_(qgetenv(name)) {}
    ~EnvOverride() {
        if (was_set_) {
            qputenv(name_, old_value_);
        } else {
            qunsetenv(name_);
        }
    }
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;

  private:
    const char* name_;
    bool was_set_;
    QByteArray old_value_;
};

}  // namespace

Q_DECLARE_METATYPE(Answer)
Q_DECLARE_METATYPE(QMessageBox::Icon)
Q_DECLARE_METATYPE(QMessageBox::StandardButton)

class TestQtServices : public QObject {
    Q_OBJECT

  private slots:
    void msgBox_data();
    void msgBox();
    void msgBoxGivesFocusBack();
    void clipboardHoldsSecretText_data();
    void clipboardHoldsSecretText();
    void clipboardClearEmpties();
    void prevInstance();
    void rndRange();
};

void TestQtServices::msgBox_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QMessageBox::StandardButton>("defaultButton");
    QTest::addColumn<int>("expected");

    const QString error_prompt =
        QStringLiteral("Password length must be a number from 1 to 32766 inclusive.");
    const QString warning_prompt = QStringLiteral(
        "The password length is too big, the program may stop responding for some time or even "
        "forever! If you still want to continue press ''Yes'', else press ''No'' and enter "
        "password length smaller than 1000.");
    const QString running_prompt = QStringLiteral("A copy of program is allready running!");
    const int ok_only = QMessageBox::Ok;
    const int yes_no = QMessageBox::Yes | QMessageBox::No;

    QTest::newRow("16, OK clicked") << 16 << "Error" << error_prompt << Answer::ClickOk
                                    << QMessageBox::Critical << ok_only << QMessageBox::Ok << 1;
    QTest::newRow("16, Esc") << 16 << "Error" << error_prompt << Answer::Escape
                             << QMessageBox::Critical << ok_only << QMessageBox::Ok << 1;
    QTest::newRow("16, Enter") << 16 << "Error" << error_prompt << Answer::Enter
                               << QMessageBox::Critical << ok_only << QMessageBox::Ok << 1;
    QTest::newRow("16, closed") << 16 << "Error" << error_prompt << Answer::CloseBox
                                << QMessageBox::Critical << ok_only << QMessageBox::Ok << 1;
    QTest::newRow("16, another copy runs")
        << 16 << "Error" << running_prompt << Answer::ClickOk << QMessageBox::Critical << ok_only
        << QMessageBox::Ok << 1;
    QTest::newRow("16, markup shown as text")
        << 16 << "Error"
        << "<b>1 & 2</b> isn't a length" << Answer::ClickOk << QMessageBox::Critical << ok_only
        << QMessageBox::Ok << 1;
    QTest::newRow("308, Yes clicked") << 308 << "Warning!" << warning_prompt << Answer::ClickYes
                                      << QMessageBox::Warning << yes_no << QMessageBox::No << 6;
    QTest::newRow("308, No clicked") << 308 << "Warning!" << warning_prompt << Answer::ClickNo
                                     << QMessageBox::Warning << yes_no << QMessageBox::No << 7;
    QTest::newRow("308, Enter") << 308 << "Warning!" << warning_prompt << Answer::Enter
                                << QMessageBox::Warning << yes_no << QMessageBox::No << 7;
    QTest::newRow("308, closed") << 308 << "Warning!" << warning_prompt << Answer::CloseBox
                                 << QMessageBox::Warning << yes_no << QMessageBox::No << 7;
    QTest::newRow("308, Esc") << 308 << "Warning!" << warning_prompt << Answer::Escape
                              << QMessageBox::Warning << yes_no << QMessageBox::No << 7;
}

void TestQtServices::msgBox() {
    QFETCH(int, style);
    QFETCH(QString, title);
    QFETCH(QString, prompt);
    QFETCH(Answer, answer);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(int, buttons);
    QFETCH(QMessageBox::StandardButton, defaultButton);
    QFETCH(int, expected);

    QtServices services;
    SeenBox seen;
    AnswerNextBox(&seen, answer);
    const int result = services.MsgBox(prompt, style, title);

    QVERIFY2(seen.found, "no message box came up");
    QVERIFY(seen.answered);
    QVERIFY(seen.modal);
    QCOMPARE(seen.title, title);
    QCOMPARE(seen.text, prompt);
    QCOMPARE(seen.format, Qt::PlainText);
    QCOMPARE(seen.icon, icon);
    QCOMPARE(static_cast<int>(seen.buttons), buttons);
    QCOMPARE(seen.button_count, buttons == QMessageBox::Ok ? 1 : 2);
    QCOMPARE(seen.default_button, defaultButton);
    QCOMPARE(result, expected);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestQtServices::msgBoxGivesFocusBack() {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* other = new QLineEdit(&window);
    auto* edit = new QLineEdit(&window);
    layout->addWidget(other);
    layout->addWidget(edit);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    edit->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), edit);

    QtServices services;
    SeenBox seen;
    AnswerNextBox(&seen, Answer::ClickOk);
    QCOMPARE(services.MsgBox(QStringLiteral("A copy of program is allready running!"), 16,
                             QStringLiteral("Error")),
             1);
    QVERIFY(seen.found);
    // The window becomes active again through the event loop, which the
    // handler that showed the box returns to.
    QTRY_COMPARE(QApplication::activeWindow(), &window);
    QCOMPARE(QApplication::focusWidget(), edit);
}

void TestQtServices::clipboardHoldsSecretText_data() {
    QTest::addColumn<QString>("text");

    QTest::newRow("abc") << "abc";
    QTest::newRow("symbols and blanks") << " a!b\"c#~ ";
    QTest::newRow("longest password") << QString(32766, QLatin1Char('Z'));
}

void TestQtServices::clipboardHoldsSecretText() {
    QFETCH(QString, text);
    QClipboard* clipboard = QGuiApplication::clipboard();
    QVERIFY(clipboard != nullptr);
    clipboard->setText(QStringLiteral("left over"));

    QtServices services;
    services.ClipboardClear();
    services.ClipboardSetText(text);

    const QMimeData* data = clipboard->mimeData();
    QVERIFY(data != nullptr);
    QVERIFY(data->hasText());
    QCOMPARE(data->text(), text);
    QCOMPARE(data->data(QStringLiteral("text/plain")), text.toUtf8());
    QCOMPARE(clipboard->text(), text);
    QVERIFY(data->hasFormat(QStringLiteral("x-kde-passwordManagerHint")));
    QCOMPARE(data->data(QStringLiteral("x-kde-passwordManagerHint")), QByteArray("secret"));
    QVERIFY(!data->hasHtml());
}

void TestQtServices::clipboardClearEmpties() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    QVERIFY(clipboard != nullptr);
    QtServices services;

    clipboard->setText(QStringLiteral("left over"));
    services.ClipboardClear();
    QCOMPARE(clipboard->text(), QString());

    services.ClipboardSetText(QStringLiteral("abc"));
    QCOMPARE(clipboard->text(), QStringLiteral("abc"));
    services.ClipboardClear();
    services.ClipboardSetText(QString());
    QCOMPARE(clipboard->text(), QString());
    const QMimeData* data = clipboard->mimeData();
    QVERIFY(data != nullptr);
    QCOMPARE(data->text(), QString());
}

void TestQtServices::prevInstance() {
    EnvOverride runtime_dir("XDG_RUNTIME_DIR");
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QCOMPARE(chmod(QFile::encodeName(folder.path()).constData(), 0700), 0);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));

    QtServices first;
    QCOMPARE(first.PrevInstance(), quorvex::runtime::False);
    QCOMPARE(first.PrevInstance(), quorvex::runtime::False);
    QVERIFY(QFile::exists(folder.path() + QStringLiteral("/quorvex.lock")));
    // A second holder of the services while the first keeps its lock counts
    // as another copy: True is -1.
    QtServices second;
    QCOMPARE(second.PrevInstance(), quorvex::runtime::True);
    QCOMPARE(int{second.PrevInstance()}, -1);
}

void TestQtServices::rndRange() {
    QtServices services;
    services.Randomize();
    QList<double> firsts;
    for (int i = 0; i < 5000; ++i) {
        const double r = services.Rnd();
        QVERIFY2(r >= 0.0 && r < 1.0, QByteArray::number(r, 'g', 17).constData());
        if (i < 4) {
            firsts << r;
        }
    }
    // Another source does not repeat the same sequence.
    QtServices other;
    other.Randomize();
    QList<double> others;
    for (int i = 0; i < 4; ++i) {
        others << other.Rnd();
    }
    QVERIFY(firsts != others);
}

QTEST_MAIN(TestQtServices)
#include "test_qt_services.moc"
