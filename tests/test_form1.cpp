// The real window on Qt's offscreen platform: start-up, layout, pictures, the
// keyboard and the three handlers driven through the controls, with
// randomness, message-box answers and the clipboard scripted.
#include "linux/display_check.h"
#include "linux/key_codes.h"
#include "linux/title_bar.h"
#include "tests/qt_form.h"
#include "tests/scripted_services.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <QWindow>
#include <new>
#include <utility>

using quorvex::app::Control;
using quorvex::app::Form1;
using quorvex::desktop::QtWindow;
using quorvex::testing::ProgramEnded;
using quorvex::testing::ScriptedServices;
using quorvex::testing::Widgets;

namespace {

const QString kLengthError =
    QStringLiteral("Password length must be a number from 1 to 32766 inclusive.");
const QString kLongLengthWarning = QStringLiteral(
    "The password length is too big, the program may stop responding for some time or even "
    "forever! If you still want to continue press ''Yes'', else press ''No'' and enter password "
    "length smaller than 1000.");

// What the clipboard holds: its plain text and its secret mark ("secret"
// where the text is marked); both empty when it holds nothing.
std::pair<QString, QByteArray> ClipboardTextAndMark() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr) {
        return {};
    }
    return {data->text(), data->data(QStringLiteral("x-kde-passwordManagerHint"))};
}

std::pair<QString, QByteArray> SecretText(const QString& text) {
    return {text, QByteArrayLiteral("secret")};
}

// One window with its scripted services and its widgets named after the
// controls. A draw beyond the scripted ones is counted and answered with 1
// ("a"), so that no exception crosses Qt's event delivery.
class Window {
  public:
    explicit Window(std::optional<int> width = std::nullopt) : qt_form(services, width) {
        services.fallback_rnd = [this] {
            ++unplanned_draws;
            return ScriptedServices::DrawFor(1);
        };
        controls = {
            {"Option1", &form.Option1},   {"Option2", &form.Option2}, {"Option3", &form.Option3},
            {"Option4", &form.Option4},   {"Text1", &form.Text1},     {"Text2", &form.Text2},
            {"Command1", &form.Command1}, {"Frame1", &form.Frame1},   {"Frame2", &form.Frame2},
            {"Image1", &form.Image1},     {"Image2", &form.Image2},   {"Label1", &form.Label1},
            {"Label2", &form.Label2},     {"Label3", &form.Label3},   {"Label4", &form.Label4}};
    }

    // Load and show, as the program's entry does.
    bool Start() { return qt_form.Start(); }
    QWidget* Named(const QString& name) const { return qt.Widget(name.toStdString()); }
    static QString FocusName() {
        const QWidget* focus = QApplication::focusWidget();
        return focus != nullptr ? focus->objectName() : QStringLiteral("<none>");
    }
    // Selects an option button by a click on its round mark.
    bool Select(const QString& option) {
        auto* button = qobject_cast<QRadioButton*>(Named(option));
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
        return button->isChecked();
    }
    void Generate(const QString& length, const QList<int>& draws) {
        ui.Text1->clear();
        QTest::keyClicks(ui.Text1, length);
        for (const int value : draws) {
            services.draws.push_back(ScriptedServices::DrawFor(value));
        }
        QTest::mouseClick(ui.Command1, Qt::LeftButton);
    }
    QString Output() const { return ui.Text2->toPlainText(); }
    // What the program asked of its services, as text.
    QStringList Calls() const {
        QStringList calls;
        for (const std::string& call : services.calls) {
            calls.append(QString::fromStdString(call));
        }
        return calls;
    }
    QStringList ClipboardLog() const {
        QStringList log;
        for (const quorvex::runtime::String& entry : services.clipboard_log) {
            log.append(QString::fromStdU16String(entry));
        }
        return log;
    }
    QString BoxPrompt(std::size_t i) const {
        return QString::fromStdU16String(services.boxes.at(i).prompt);
    }
    QString BoxTitle(std::size_t i) const {
        return QString::fromStdU16String(services.boxes.at(i).title);
    }

    ScriptedServices services;
    int unplanned_draws = 0;
    quorvex::testing::QtForm qt_form;
    Form1& form = qt_form.form;
    QtWindow& qt = qt_form.window;
    const Widgets& ui = qt_form.ui;
    QMap<QString, Control*> controls;
};

// The text a button shows for its raw text: "&&" draws "&", "&x" an underlined "x".
QString Shown(const QString& raw) {
    QString shown;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        i += raw[i] == u'&' && i + 1 < raw.size() ? 1 : 0;
        shown.append(raw[i]);
    }
    return shown;
}

}  // namespace

class TestForm1 : public QObject {
    Q_OBJECT

  private slots:
    void init() { QGuiApplication::clipboard()->clear(); }

    void captions_data() {
        QTest::addColumn<QString>("caption");
        QTest::newRow("Option1") << "0-9";
        QTest::newRow("Option2") << "a-z A-Z 0-9";
        QTest::newRow("Option3") << "a-z A-Z 0-9 !@#$%^&*()_+;:,.-*";
        QTest::newRow("Option4") << "a-z A-Z 0-9 !@#$%^&*()_+;:,.-* =[]{}'<>/?\\|`~";
        QTest::newRow("Command1") << "";
        QTest::newRow("Frame1") << "";
        QTest::newRow("Frame2") << "";
    }

    void captions() {
        QFETCH(QString, caption);
        Window window;
        QVERIFY(window.Start());
        QWidget* widget = window.Named(QString::fromLatin1(QTest::currentDataTag()));
        auto* button = qobject_cast<QAbstractButton*>(widget);
        auto* frame = qobject_cast<QGroupBox*>(widget);
        const Control* control = window.controls.value(QTest::currentDataTag());
        QCOMPARE(QString::fromStdU16String(control->Caption()), caption);
        // Every "&" is shown as itself: nothing underlined, no Alt key.
        const QString raw = button ? button->text() : frame->title();
        QCOMPARE(Shown(raw), caption);
        QVERIFY2(QKeySequence::mnemonic(raw).isEmpty(), qPrintable(raw));
    }

    // Qt's messages while the window system starts are held back, then
    // passed on: none is lost.
    void startUpMessagesArePassedOn() {
        QTest::ignoreMessage(QtWarningMsg, "held while starting");
        quorvex::desktop::DisplayCheck check;
        qWarning("held while starting");
    }

    void startUpState() {
        Window window;
        window.form.Load();
        // Before the window shows: the guard asked, the source seeded once, no draw yet.
        QCOMPARE(window.Calls(), QStringList({"PrevInstance", "Randomize"}));
        QVERIFY(window.services.boxes.empty());
        window.qt.Show();
        QVERIFY(QTest::qWaitForWindowActive(&window.qt));
        QtWindow& qt = window.qt;
        const Widgets& ui = window.ui;
        QCOMPARE(qt.windowTitle(), QStringLiteral("Quorvex"));
        QVERIFY(ui.Option2->isChecked());
        QCOMPARE(ui.Text1->text(), QString());
        QCOMPARE(window.Output(), QString());
        QVERIFY(ui.Text2->isReadOnly());
        for (const char* label : {"Label1", "Label2", "Label3", "Label4"}) {
            QVERIFY2(window.Named(label)->isHidden(), label);
        }
        QCOMPARE(window.FocusName(), QStringLiteral("Text1"));
        QTest::keyClicks(ui.Text1, QStringLiteral("123456"));
        QCOMPARE(ui.Text1->text(), QStringLiteral("12345"));
        const QSize design(459, 274);
        QCOMPARE(qt.size(), design);
        QCOMPARE(qt.minimumSize(), design);
        QCOMPARE(qt.maximumSize(), design);
        qt.resize(600, 300);
        QCOMPARE(qt.size(), design);
        // Maximize, as the title bar Qt draws on Wayland offers it, leaves it as it is.
        const QRect placed = qt.geometry();
        QSignalSpy states(qt.windowHandle(), &QWindow::windowStateChanged);
        qt.windowHandle()->setWindowStates(Qt::WindowMaximized);
        QTRY_VERIFY(states.count() > 1);  // maximized, then undone
        QTRY_COMPARE(qt.windowState(), Qt::WindowNoState);
        QCOMPARE(qt.size(), placed.size());
        // Within the rounding of a fractional scale.
        const QPoint moved = qt.geometry().topLeft() - placed.topLeft();
        QVERIFY2(moved.manhattanLength() <= 1,
                 qPrintable(QStringLiteral("moved by %1,%2").arg(moved.x()).arg(moved.y())));

        // Drawing never seeds again.
        window.Generate(QStringLiteral("3"), {1, 2, 3});
        window.Generate(QStringLiteral("3"), {1, 2, 3});
        QCOMPARE(window.Output(), QStringLiteral("abc"));
        QCOMPARE(window.Calls().count(QStringLiteral("Randomize")), 1);
        QCOMPARE(window.Calls().count(QStringLiteral("Rnd")), 6);
    }

    void secondCopyShowsOneBoxAndEnds() {
        Window window;
        window.services.prev_instance = quorvex::runtime::True;
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, window.form.Load());

        QCOMPARE(window.services.boxes.size(), 1U);
        QCOMPARE(window.BoxPrompt(0), QStringLiteral("A copy of program is allready running!"));
        QCOMPARE(window.services.boxes[0].style, 16);
        QCOMPARE(window.BoxTitle(0), QStringLiteral("Error"));
        QCOMPARE(window.Calls(), QStringList{"PrevInstance"});
        // Nothing else of the start-up ran and the window never showed.
        QCOMPARE(window.ui.Option1->text(), QStringLiteral("Option1"));
        QCOMPARE(window.ui.Text1->text(), QStringLiteral("Text1"));
        QVERIFY(!window.ui.Label1->isHidden());
        QVERIFY(!window.qt.isVisible());
    }

    void layoutAtDesignWidth_data() {
        QTest::addColumn<double>("left");
        QTest::addColumn<double>("top");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("height");
        QTest::addColumn<QRect>("pixels");  // in whole pixels of its container

        QTest::newRow("Frame1") << 10.0 << 2.0 << 439.0 << 106.0 << QRect(10, 2, 439, 106);
        QTest::newRow("Option1") << 20.0 << 22.0 << 380.0 << 16.0 << QRect(20, 22, 380, 16);
        QTest::newRow("Option2") << 20.0 << 42.0 << 380.0 << 16.0 << QRect(20, 42, 380, 16);
        QTest::newRow("Option3") << 20.0 << 62.0 << 380.0 << 16.0 << QRect(20, 62, 380, 16);
        QTest::newRow("Option4") << 20.0 << 82.0 << 380.0 << 16.0 << QRect(20, 82, 380, 16);
        // Half pixels go to the next pixel on the right.
        QTest::newRow("Text1") << 204.5 << 116.0 << 50.0 << 24.0 << QRect(205, 116, 50, 24);
        QTest::newRow("Image1") << 43.5 << 120.0 << 153.0 << 21.0 << QRect(44, 120, 153, 21);
        QTest::newRow("Command1") << 179.5 << 148.0 << 100.0 << 30.0 << QRect(180, 148, 100, 30);
        QTest::newRow("Frame2") << 10.0 << 180.0 << 439.0 << 84.0 << QRect(10, 180, 439, 84);
        // In Frame2, whose children are measured in twips.
        QTest::newRow("Image2") << 150.0 << 180.0 << 1365.0 << 255.0 << QRect(10, 12, 91, 17);
        QTest::newRow("Text2") << 20.0 << 218.0 << 419.0 << 34.0 << QRect(20, 218, 419, 34);
    }

    void layoutAtDesignWidth() {
        QFETCH(double, left);
        QFETCH(double, top);
        QFETCH(double, width);
        QFETCH(double, height);
        QFETCH(QRect, pixels);
        Window window;
        QVERIFY(window.Start());
        const Control* control = window.controls.value(QTest::currentDataTag());
        QCOMPARE(double{control->Left()}, left);
        QCOMPARE(double{control->Top()}, top);
        QCOMPARE(double{control->Width()}, width);
        QCOMPARE(double{control->Height()}, height);
        QCOMPARE(window.Named(QTest::currentDataTag())->geometry(), pixels);
    }

    void layoutFollowsInnerWidth_data() {
        QTest::addColumn<int>("width");
        QTest::newRow("600") << 600;
        QTest::newRow("odd 501") << 501;
    }

    void layoutFollowsInnerWidth() {
        QFETCH(int, width);
        Window window(width);
        QVERIFY(window.Start());
        const Form1& form = window.form;
        const Widgets& ui = window.ui;
        const double w = width;
        QCOMPARE(double{form.ScaleWidth()}, w);
        QCOMPARE(double{form.Text1.Left()}, w / 2 - 25);
        QCOMPARE(double{form.Command1.Left()}, w / 2 - 50);
        QCOMPARE(double{form.Image1.Left()}, w / 2 - 25 - 153 - 8);
        QCOMPARE(ui.Frame1->geometry(), QRect(10, 2, width - 20, 106));
        QCOMPARE(ui.Frame2->geometry(), QRect(10, 180, width - 20, 84));
        QCOMPARE(ui.Text2->geometry(), QRect(20, 218, width - 40, 34));
        QCOMPARE(ui.Text1->geometry().left(), qRound(w / 2 - 25));
        QCOMPARE(ui.Command1->geometry().left(), qRound(w / 2 - 50));
    }

    // Where the program draws the title bar, the inner area keeps its size
    // and layout below it, and the bar offers minimize and close only.
    void ownTitleBar() {
        quorvex::desktop::SetOwnTitleBars(true);
        const auto desktops_bars = qScopeGuard([] { quorvex::desktop::SetOwnTitleBars(false); });
        Window window;
        QVERIFY(window.Start());
        Form1& form = window.form;
        QtWindow& qt = window.qt;
        const Widgets& ui = window.ui;
        const QRect inner = qt.contentsRect();
        QCOMPARE(inner.size(), QSize(459, 274));
        QCOMPARE(double{form.ScaleWidth()}, 459.0);
        QCOMPARE(ui.Frame1->geometry(), QRect(10, 2, 439, 106).translated(inner.topLeft()));
        QCOMPARE(ui.Text2->geometry(), QRect(20, 218, 419, 34).translated(inner.topLeft()));

        QMap<QString, QAbstractButton*> bar;
        for (QAbstractButton* button : qt.findChildren<QAbstractButton*>()) {
            if (button->mapTo(&qt, QPoint(0, button->height())).y() <= inner.top()) {
                bar.insert(button->accessibleName(), button);
            }
        }
        QCOMPARE(bar.keys(), QStringList({"Close", "Minimize"}));

        // Another window active: the buttons fade with the title.
        const auto darkest = [](QWidget* widget) {
            const QImage image = widget->grab().toImage();
            int least = 255;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    least = std::min(least, qGray(image.pixel(x, y)));
                }
            }
            return least;
        };
        const int faded = qGray(qt.palette().color(QPalette::Disabled, QPalette::WindowText).rgb());
        QVERIFY(darkest(bar.value("Close")) < faded - 30);
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        for (QAbstractButton* button : bar) {
            QVERIFY2(darkest(button) >= faded - 10, qPrintable(button->accessibleName()));
        }
        qt.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&qt));

        QTest::mouseClick(bar.value("Minimize"), Qt::LeftButton);
        QTRY_VERIFY(qt.isMinimized());
    }

    // On every screen the captions fit the controls the layout gives them.
    void captionsFitTheirControls() {
        Window window;
        QVERIFY(window.Start());
        const Widgets& ui = window.ui;
        for (QRadioButton* option : {ui.Option1, ui.Option2, ui.Option3, ui.Option4}) {
            QVERIFY2(option->sizeHint().width() <= option->width(), qPrintable(option->text()));
            QVERIFY2(option->fontMetrics().height() <= option->height(),
                     qPrintable(option->text()));
        }
    }

    void picturesAndStacking() {
        Window window;
        QVERIFY(window.Start());
        const QtWindow& qt = window.qt;
        const Widgets& ui = window.ui;
        QCOMPARE(ui.Image1->pixmap().size(), QSize(153, 21));
        QCOMPARE(ui.Image1->size(), QSize(153, 21));
        QCOMPARE(ui.Image2->pixmap().size(), QSize(91, 17));
        QCOMPARE(ui.Image2->size(), QSize(91, 17));
        QVERIFY(ui.Command1->icon().availableSizes().contains(QSize(80, 16)));
        QCOMPARE(ui.Command1->iconSize(), QSize(80, 16));
        QVERIFY(qt.windowIcon().availableSizes().contains(QSize(32, 32)));
        QCOMPARE(ui.Command1->accessibleName(), QStringLiteral("Generate"));
        QCOMPARE(ui.Image1->accessibleName(), QStringLiteral("Password length:"));
        QCOMPARE(ui.Image2->accessibleName(), QStringLiteral("Password:"));

        // The option buttons and the output box lie in front of their frames.
        for (const char* name : {"Option1", "Option2", "Option3", "Option4", "Text2"}) {
            QWidget* front = window.Named(name);
            QWidget* hit = window.qt.childAt(front->geometry().center());
            QVERIFY2(hit == front || front->isAncestorOf(hit), name);
        }
    }

    void outputBox() {
        Window window;
        QVERIFY(window.Start());
        quorvex::desktop::PasswordBox* box = window.ui.Text2;
        QScrollBar* bar = box->horizontalScrollBar();
        QVERIFY(bar->isVisible());  // before any password too

        // The draws 1 to 62 over and over: a-z, A-Z, then "1" to "9" and "0".
        int next = 0;
        window.services.fallback_rnd = [&next] {
            return ScriptedServices::DrawFor(next++ % 62 + 1);
        };
        window.Generate(QStringLiteral("200"), {});
        const QString block =
            QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890");
        const QString password = block + block + block + block.left(14);
        QCOMPARE(window.Output(), password);
        QCOMPARE(box->document()->blockCount(), 1);
        QCOMPARE(box->document()->firstBlock().layout()->lineCount(), 1);
        QVERIFY(!box->verticalScrollBar()->isVisible());
        QVERIFY(bar->isVisible() && bar->maximum() > 0);

        // The line shows whole above the scroll bar.
        QTextCursor cursor(box->document());
        const QRect first_line = box->cursorRect(cursor);
        QVERIFY(first_line.top() >= 0 && first_line.bottom() < box->viewport()->height());
        QVERIFY(box->viewport()->mapTo(box, QPoint(0, box->viewport()->height())).y() <=
                bar->mapTo(box, QPoint(0, 0)).y());

        // Read-only, but selectable.
        box->setFocus();
        QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
        QTest::keyClicks(box, QStringLiteral("xyz 9"));
        for (const int key : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Return}) {
            QTest::keyClick(box, static_cast<Qt::Key>(key));
        }
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(window.Output(), password);
        QTest::keyClick(box, Qt::Key_Home);
        QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(box->textCursor().selectedText(), QStringLiteral("ab"));

        // The end starts out of sight; at the end of its range the bar shows
        // the last character at the viewport's edge.
        cursor.movePosition(QTextCursor::End);
        const int width = box->viewport()->width();
        QVERIFY(box->cursorRect(cursor).left() > width);
        bar->setValue(bar->maximum());
        const int end_left = box->cursorRect(cursor).left();
        QVERIFY2(end_left <= width + 1 && end_left > width - 8,
                 qPrintable(QString::number(end_left)));
        QVERIFY(box->cursorRect(QTextCursor(box->document())).left() < 0);
    }

    void tabOrder_data() {
        QTest::addColumn<QString>("option");
        QTest::newRow("Option2 by default") << "Option2";
        QTest::newRow("Option4 selected") << "Option4";
    }

    void tabOrder() {
        QFETCH(QString, option);
        Window window;
        QVERIFY(window.Start());
        QVERIFY(window.Select(option));
        window.ui.Text1->setFocus();
        for (const QString& expected :
             QStringList{"Command1", "Text2", option, "Text1", "Command1"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(window.FocusName(), expected);
        }
        window.ui.Text1->setFocus();
        for (const QString& expected : QStringList{option, "Text2", "Command1", "Text1", option}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
            QCOMPARE(window.FocusName(), expected);
        }
    }

    void arrowKeys_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("to");
        QTest::newRow("Option1 down") << "Option1" << int{Qt::Key_Down} << "Option2";
        QTest::newRow("Option4 up") << "Option4" << int{Qt::Key_Up} << "Option3";
    }

    void arrowKeys() {
        QFETCH(QString, from);
        QFETCH(int, key);
        QFETCH(QString, to);
        Window window;
        QVERIFY(window.Start());
        QVERIFY(window.Select(from));
        window.ui.Text1->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(window.FocusName(), from);
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key));
        QCOMPARE(window.FocusName(), to);
        QVERIFY(qobject_cast<QRadioButton*>(window.Named(to))->isChecked());
        QVERIFY(!qobject_cast<QRadioButton*>(window.Named(from))->isChecked());
    }

    void enterAndEsc_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("presses");
        QTest::newRow("Return in Text1") << "Text1" << int{Qt::Key_Return} << false;
        QTest::newRow("Esc in Text1") << "Text1" << int{Qt::Key_Escape} << false;
        QTest::newRow("Return on Command1") << "Command1" << int{Qt::Key_Return} << false;
        QTest::newRow("Enter on Command1") << "Command1" << int{Qt::Key_Enter} << false;
        QTest::newRow("Esc on Command1") << "Command1" << int{Qt::Key_Escape} << false;
        // The space bar is how the keyboard presses the button.
        QTest::newRow("Space on Command1") << "Command1" << int{Qt::Key_Space} << true;
    }

    void enterAndEsc() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(bool, presses);
        Window window;
        QVERIFY(window.Start());
        window.Generate(QStringLiteral("3"), {27, 53, 5});
        QCOMPARE(window.Output(), QStringLiteral("A1e"));
        window.Named(focus)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key));
        QVERIFY(window.services.boxes.empty());
        QCOMPARE(window.services.rnd_calls, presses ? 6 : 3);
        QCOMPARE(window.Output(), presses ? QStringLiteral("aaa") : QStringLiteral("A1e"));
    }

    void generate_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("answer");  // to the box; 0: no box
        QTest::addColumn<QString>("length");
        QTest::addColumn<QList<int>>("draws");  // none: every draw gives "1"
        QTest::addColumn<QString>("password");

        const QList<int> ones;
        QTest::newRow("worked example")
            << "Option2" << 0 << "3" << QList<int>{0, 27, 99, 62, 5} << "A0e";
        QTest::newRow("Option1, digits only")
            << "Option1" << 0 << "4" << QList<int>{1, 53, 62, 63, 57, 52, 58} << "1056";
        QTest::newRow("0 is refused") << "Option2" << 1 << "0" << ones << "";
        QTest::newRow("32767 is refused") << "Option2" << 1 << "32767" << ones << "";
        QTest::newRow("999, no warning") << "Option2" << 0 << "999" << ones << QString(999, u'1');
        QTest::newRow("1000, No") << "Option2" << 7 << "1000" << ones << "";
        QTest::newRow("1000, Yes") << "Option2" << 6 << "1000" << ones << QString(1000, u'1');
    }

    void generate() {
        QFETCH(QString, option);
        QFETCH(QString, length);
        QFETCH(QList<int>, draws);
        QFETCH(int, answer);
        QFETCH(QString, password);
        Window window;
        QVERIFY(window.Start());
        window.Generate(QStringLiteral("2"), {1, 2});
        QCOMPARE(window.Output(), QStringLiteral("ab"));
        QVERIFY(window.Select(option));
        if (draws.isEmpty()) {
            window.services.fallback_rnd = [] { return ScriptedServices::DrawFor(53); };
        }
        window.services.answers.push_back(answer);
        window.Generate(length, draws);

        QCOMPARE(window.Output(), password);  // replaces the earlier one
        QCOMPARE(window.ui.Text1->text(), length);
        QCOMPARE(window.unplanned_draws, 0);
        QVERIFY(window.services.draws.empty());
        QCOMPARE(window.services.rnd_calls,
                 2 + static_cast<int>(draws.isEmpty() ? password.size() : draws.size()));
        QCOMPARE(window.services.boxes.size(), answer == 0 ? 0U : 1U);
        if (answer != 0) {
            const bool warning = answer != 1;
            QCOMPARE(window.BoxPrompt(0), warning ? kLongLengthWarning : kLengthError);
            QCOMPARE(window.services.boxes[0].style, warning ? 308 : 16);
            QCOMPARE(window.BoxTitle(0), QString::fromLatin1(warning ? "Warning!" : "Error"));
        }
    }

    void runtimeErrorIsReportedAndSurvived_data() {
        QTest::addColumn<bool>("outOfMemory");  // the third draw fails to allocate, else overflows
        QTest::addColumn<QString>("prompt");
        QTest::newRow("overflow") << false << "Run-time error '6':\n\nOverflow";
        QTest::newRow("out of memory") << true << "Run-time error '7':\n\nOut of memory";
    }

    void runtimeErrorIsReportedAndSurvived() {
        QFETCH(bool, outOfMemory);
        QFETCH(QString, prompt);
        Window window;
        QVERIFY(window.Start());
        window.services.draws = {ScriptedServices::DrawFor(1), ScriptedServices::DrawFor(2)};
        const auto fallback = window.services.fallback_rnd;
        if (outOfMemory) {
            window.services.fallback_rnd = []() -> double { throw std::bad_alloc(); };
        } else {
            window.services.draws.push_back(1e9);
        }
        window.Generate(QStringLiteral("12"), {});
        window.services.fallback_rnd = fallback;
        QCOMPARE(window.services.boxes.size(), 1U);
        QCOMPARE(window.BoxPrompt(0), prompt);
        QCOMPARE(window.services.boxes[0].style, 16);
        QCOMPARE(window.BoxTitle(0), QStringLiteral("Quorvex"));
        // What was made before the failure stays.
        QCOMPARE(window.Output(), QStringLiteral("ab"));
        QCOMPARE(window.services.rnd_calls, 3);

        // The window goes on working.
        window.Generate(QStringLiteral("3"), {27, 28, 29});
        QCOMPARE(window.Output(), QStringLiteral("ABC"));
        QCOMPARE(window.services.boxes.size(), 1U);
        QCOMPARE(window.unplanned_draws, 0);
    }

    void copyShortcut_data() {
        QTest::addColumn<QString>("selection");  // in Text2: all, part or none; or Text1
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("copies");
        QTest::addColumn<QString>("selected");

        const QString password = QStringLiteral("&\\'aZ0*`");
        const int ctrl = Qt::ControlModifier;
        const int c = Qt::Key_C;
        QTest::newRow("Ctrl+C, all") << "all" << c << ctrl << true << password;
        QTest::newRow("Ctrl+C, part") << "part" << c << ctrl << true << "&\\'";
        QTest::newRow("Ctrl+C, none") << "none" << c << ctrl << true << "";
        QTest::newRow("Ctrl+Shift+C")
            << "all" << c << int{ctrl | Qt::ShiftModifier} << false << password;
        QTest::newRow("Ctrl+Alt+C")
            << "all" << c << int{ctrl | Qt::AltModifier} << false << password;
        QTest::newRow("C") << "all" << c << int{Qt::NoModifier} << false << password;
        QTest::newRow("Ctrl+V") << "all" << int{Qt::Key_V} << ctrl << false << password;
        QTest::newRow("Ctrl+C in Text1") << "Text1" << c << ctrl << false << "8";
    }

    void copyShortcut() {
        QFETCH(QString, selection);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, copies);
        QFETCH(QString, selected);
        Window window;
        QVERIFY(window.Start());
        QVERIFY(window.Select(QStringLiteral("Option4")));
        window.Generate(QStringLiteral("8"), {69, 91, 86, 1, 52, 62, 70, 93});
        const QString password = QStringLiteral("&\\'aZ0*`");
        QCOMPARE(window.Output(), password);

        quorvex::desktop::PasswordBox* box = window.ui.Text2;
        QWidget* target = selection == u"Text1" ? window.Named(selection) : box;
        target->setFocus();
        if (selection == u"Text1") {
            window.ui.Text1->selectAll();
        } else if (selection == u"all") {
            QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        } else if (selection == u"part") {
            QTest::keyClick(box, Qt::Key_Home);
            for (int i = 0; i < 3; ++i) {
                QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier);
            }
        } else {
            QTest::keyClick(box, Qt::Key_End);
        }
        QCOMPARE(target == box ? box->textCursor().selectedText() : window.ui.Text1->selectedText(),
                 selected);
        QVERIFY(window.services.clipboard_log.empty());

        QTest::keyClick(target, static_cast<Qt::Key>(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(window.ClipboardLog(),
                 copies ? QStringList({"clear", "set:" + selected}) : QStringList());
        QCOMPARE(window.Output(), password);
        if (copies && !selected.isEmpty()) {
            // The box's own copy follows: the same text, marked secret.
            QCOMPARE(ClipboardTextAndMark(), SecretText(selected));
        }
    }

    // Letters by the key's symbol under Latin layouts, by the physical key under
    // a non-Latin layout alone; xkb keycodes: 54 is the US C key, 38 A, 24 Q,
    // 34 the [ key, 118 Insert.
    void shortcutKeys_data() {
        QTest::addColumn<int>("qt_key");
        QTest::addColumn<uint>("keycode");
        QTest::addColumn<int>("shortcut_key");
        QTest::addColumn<int>("key_code");

        QTest::newRow("US C") << int{Qt::Key_C} << 54U << int{Qt::Key_C} << 67;
        QTest::newRow("Dvorak C (US I key)") << int{Qt::Key_C} << 31U << int{Qt::Key_C} << 67;
        QTest::newRow("Dvorak J on the US C key") << int{Qt::Key_J} << 54U << int{Qt::Key_J} << 74;
        QTest::newRow("Dvorak apostrophe on the US Q key")
            << int{Qt::Key_Apostrophe} << 24U << int{Qt::Key_Apostrophe} << 0;
        QTest::newRow("Russian es") << 0x421 << 54U << int{Qt::Key_C} << 67;
        QTest::newRow("Russian ef") << 0x424 << 38U << int{Qt::Key_A} << 65;
        QTest::newRow("Russian ha on the [ key") << 0x425 << 34U << 0x425 << 0;
        QTest::newRow("Greek psi") << 0x3a8 << 54U << int{Qt::Key_C} << 67;
        QTest::newRow("Hebrew bet") << 0x5d1 << 54U << int{Qt::Key_C} << 67;
        QTest::newRow("Russian es, keycode unknown") << 0x421 << 0U << 0x421 << 0;
        QTest::newRow("no symbol") << int{Qt::Key_unknown} << 54U << int{Qt::Key_C} << 67;
        QTest::newRow("Insert") << int{Qt::Key_Insert} << 118U << int{Qt::Key_Insert} << 0;
        QTest::newRow("Russian digit 1") << int{Qt::Key_1} << 10U << int{Qt::Key_1} << 49;
    }

    void shortcutKeys() {
        QFETCH(int, qt_key);
        QFETCH(uint, keycode);
        QFETCH(int, shortcut_key);
        QFETCH(int, key_code);
        QCOMPARE(quorvex::desktop::ShortcutKey(qt_key, keycode), shortcut_key);
        QCOMPARE(quorvex::desktop::KeyCodeOf(quorvex::desktop::ShortcutKey(qt_key, keycode)),
                 key_code);
    }

    // Ctrl+A and Ctrl+C as a Russian layout alone delivers them: Cyrillic
    // symbols with the physical keys' codes.
    void copyUnderNonLatinLayout() {
        Window window;
        QVERIFY(window.Start());
        window.Generate(QStringLiteral("3"), {1, 2, 3});
        quorvex::desktop::PasswordBox* box = window.ui.Text2;
        box->setFocus();
        QTest::keyClick(box, Qt::Key_End);
        auto press = [box](int key, quint32 keycode, const QString& text) {
            QKeyEvent down(QEvent::KeyPress, key, Qt::ControlModifier, keycode, 0, 0, text);
            QApplication::sendEvent(box, &down);
            QKeyEvent up(QEvent::KeyRelease, key, Qt::ControlModifier, keycode, 0, 0, text);
            QApplication::sendEvent(box, &up);
        };
        press(0x424, 38, QStringLiteral("\u0444"));  // Ctrl+ф on the A key
        QCOMPARE(box->textCursor().selectedText(), QStringLiteral("abc"));
        QVERIFY(window.services.clipboard_log.empty());
        press(0x421, 54, QStringLiteral("\u0441"));  // Ctrl+с on the C key
        QCOMPARE(window.ClipboardLog(), QStringList({"clear", "set:abc"}));
        QCOMPARE(ClipboardTextAndMark(), SecretText(QStringLiteral("abc")));
    }

    // The menu's Copy is a deliberate copy: the selection goes on the
    // clipboard, marked secret, as with Ctrl+C.
    void contextMenuCopy() {
        Window window;
        QVERIFY(window.Start());
        window.Generate(QStringLiteral("3"), {1, 2, 3});
        quorvex::desktop::PasswordBox* box = window.ui.Text2;
        box->setFocus();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        bool triggered = false;
        QTimer::singleShot(0, box, [&triggered] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr) {
                return;
            }
            for (QAction* action : menu->actions()) {
                if (action->objectName() == u"edit-copy") {
                    action->trigger();
                    triggered = true;
                }
            }
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10),
                                box->viewport()->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(box->viewport(), &event);
        QVERIFY(triggered);
        QCOMPARE(ClipboardTextAndMark(), SecretText(QStringLiteral("abc")));
        // The program's own handler runs for Ctrl+C alone.
        QVERIFY(window.services.clipboard_log.empty());
    }
};

QTEST_MAIN(TestForm1)
#include "test_form1.moc"
