// The real window on Qt's offscreen platform: its start-up state, its layout,
// its pictures, the keyboard and the three handlers driven through the
// controls, with randomness, message-box answers and the clipboard scripted.
#include "app/form1.h"
#include "app/password_box.h"
#include "tests/scripted_services.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <cmath>
#include <utility>
#include <vector>

namespace {

using quorvex::app::ControlGeometry;
using quorvex::app::Form1;
using quorvex::testing::ProgramEnded;
using quorvex::testing::ScriptedServices;
namespace MsgBoxResult = quorvex::runtime::MsgBoxResult;

const QString kCaption3 = QStringLiteral("a-z A-Z 0-9 !@#$%^&*()_+;:,.-*");
const QString kCaption4 = QStringLiteral("a-z A-Z 0-9 !@#$%^&*()_+;:,.-* =[]{}'<>/?\\|`~");
const QString kLengthError =
    QStringLiteral("Password length must be a number from 1 to 32766 inclusive.");
const QString kLongLengthWarning = QStringLiteral(
    "The password length is too big, the program may stop responding for some time or even "
    "forever! If you still want to continue press ''Yes'', else press ''No'' and enter password "
    "length smaller than 1000.");

// Scripted services that also record the order of the calls the program makes.
class RecordingServices : public ScriptedServices {
  public:
    QStringList calls;

    quorvex::runtime::Integer PrevInstance() override {
        calls.append(QStringLiteral("PrevInstance"));
        return ScriptedServices::PrevInstance();
    }
    void Randomize() override {
        calls.append(QStringLiteral("Randomize"));
        ScriptedServices::Randomize();
    }
    double Rnd() override {
        calls.append(QStringLiteral("Rnd"));
        return ScriptedServices::Rnd();
    }
};

// One window with its services. A draw beyond the scripted ones is counted
// and answered with the value 1 ("a" in three of the tables), so that no
// exception ever crosses Qt's event delivery.
class Window {
  public:
    explicit Window(QSize size = quorvex::app::kDesignClientSize) : form(services, size) {
        services.fallback_rnd = [this] {
            ++unplanned_draws;
            return ScriptedServices::DrawFor(1);
        };
    }

    // Load and show, as the program's entry does.
    bool Start() {
        form.Load();
        form.ShowCentred();
        return QTest::qWaitForWindowActive(&form);
    }

    void Draws(const QList<int>& values) {
        for (const int value : values) {
            services.draws.push_back(ScriptedServices::DrawFor(value));
        }
    }

    // Types the length into the box, as the user does.
    void TypeLength(const QString& text) {
        form.Text1->clear();
        QTest::keyClicks(form.Text1.get(), text);
    }

    void ClickGenerate() { QTest::mouseClick(form.Command1.get(), Qt::LeftButton); }

    QString Output() const { return form.Text2->toPlainText(); }

    RecordingServices services;
    int unplanned_draws = 0;
    Form1 form;
};

QRadioButton* OptionNamed(const Form1& form, const QString& name) {
    const std::vector<std::pair<QString, QRadioButton*>> options = {
        {QStringLiteral("Option1"), form.Option1.get()},
        {QStringLiteral("Option2"), form.Option2.get()},
        {QStringLiteral("Option3"), form.Option3.get()},
        {QStringLiteral("Option4"), form.Option4.get()},
    };
    for (const auto& [option_name, option] : options) {
        if (option_name == name) {
            return option;
        }
    }
    return nullptr;
}

// Clicks an option button on its round mark, as the user selects it.
bool ClickOption(QRadioButton* option) {
    QTest::mouseClick(option, Qt::LeftButton, Qt::NoModifier, QPoint(6, option->height() / 2));
    return option->isChecked();
}

std::vector<std::pair<QString, const ControlGeometry*>> Controls(const Form1& form) {
    return {
        {QStringLiteral("Option1"), &form.Option1},   {QStringLiteral("Option4"), &form.Option4},
        {QStringLiteral("Option3"), &form.Option3},   {QStringLiteral("Option2"), &form.Option2},
        {QStringLiteral("Text2"), &form.Text2},       {QStringLiteral("Text1"), &form.Text1},
        {QStringLiteral("Command1"), &form.Command1}, {QStringLiteral("Frame1"), &form.Frame1},
        {QStringLiteral("Frame2"), &form.Frame2},     {QStringLiteral("Image2"), &form.Image2},
        {QStringLiteral("Label2"), &form.Label2},     {QStringLiteral("Image1"), &form.Image1},
        {QStringLiteral("Label4"), &form.Label4},     {QStringLiteral("Label1"), &form.Label1},
        {QStringLiteral("Label3"), &form.Label3},
    };
}

const ControlGeometry* ControlNamed(const Form1& form, const QString& name) {
    for (const auto& [control_name, control] : Controls(form)) {
        if (control_name == name) {
            return control;
        }
    }
    return nullptr;
}

// The raw caption text of a button or frame, mnemonic markers included.
QString RawCaption(const Form1& form, const QString& name) {
    QWidget* widget = ControlNamed(form, name)->widget();
    if (const auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text();
    }
    if (const auto* frame = qobject_cast<QGroupBox*>(widget)) {
        return frame->title();
    }
    return QStringLiteral("<no caption>");
}

QString CaptionOf(const Form1& form, const QString& name) {
    QWidget* widget = ControlNamed(form, name)->widget();
    if (const auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return quorvex::app::Caption(button);
    }
    if (const auto* frame = qobject_cast<QGroupBox*>(widget)) {
        return quorvex::app::Caption(frame);
    }
    return QStringLiteral("<no caption>");
}

// What a button shows for its raw text: "&&" draws one "&", "&x" draws an
// underlined "x".
QString Shown(const QString& raw) {
    QString shown;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == u'&' && i + 1 < raw.size()) {
            ++i;
        }
        shown.append(raw[i]);
    }
    return shown;
}

QWidget* Focused() {
    return QApplication::focusWidget();
}

QString NameOf(const QWidget* widget) {
    if (widget == nullptr) {
        return QStringLiteral("<none>");
    }
    return widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                          : widget->objectName();
}

// Names the widgets so that a failing focus comparison says which is which.
void NameWidgets(Form1& form) {
    for (const auto& [name, control] : Controls(form)) {
        control->widget()->setObjectName(name);
    }
}

QString Repeated(const QString& piece, int times) {
    QString text;
    for (int i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

}  // namespace

class TestForm1 : public QObject {
    Q_OBJECT

  private slots:
    void init() { QGuiApplication::clipboard()->clear(); }

    void captionsAfterStartUp_data();
    void captionsAfterStartUp();
    void controlsAfterStartUp();
    void startUpAsksPrevInstanceThenSeedsOnce();
    void secondCopyShowsOneBoxAndEnds();
    void lengthBoxTakesFiveCharacters();
    void outputBoxIsReadOnlyButSelectable();
    void windowHasFixedSize();

    void layoutAtDesignWidth_data();
    void layoutAtDesignWidth();
    void layoutFollowsInnerWidth_data();
    void layoutFollowsInnerWidth();
    void containersOfTheControls();

    void picturesAsLoaded();
    void controlsLieInFrontOfFrames_data();
    void controlsLieInFrontOfFrames();

    void outputLineShowsAboveScrollBar();
    void longPasswordStaysOnOneLineAndScrolls();

    void tabOrder_data();
    void tabOrder();
    void arrowKeysMoveTheSelection_data();
    void arrowKeysMoveTheSelection();
    void framesPicturesAndLabelsTakeNoFocus();
    void enterAndEscDoNotPressTheButton_data();
    void enterAndEscDoNotPressTheButton();

    void generateThroughTheWindow_data();
    void generateThroughTheWindow();
    void refusedLengthsShowTheErrorBox_data();
    void refusedLengthsShowTheErrorBox();
    void longLengths_data();
    void longLengths();
    void option1GivesOnlyDigits();
    void secondClickReplacesThePassword();
    void runtimeErrorIsReportedAndSurvived();

    void copyShortcut_data();
    void copyShortcut();
    void ctrlCInLengthBoxCopiesNothing();
};

// ---------------------------------------------------------------- start-up

void TestForm1::captionsAfterStartUp_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("length");

    QTest::newRow("Option1") << "Option1"
                             << "0-9" << 3;
    QTest::newRow("Option2") << "Option2"
                             << "a-z A-Z 0-9" << 11;
    QTest::newRow("Option3") << "Option3" << kCaption3 << 30;
    QTest::newRow("Option4") << "Option4" << kCaption4 << 45;
    QTest::newRow("Command1") << "Command1"
                              << "" << 0;
    QTest::newRow("Frame1") << "Frame1"
                            << "" << 0;
    QTest::newRow("Frame2") << "Frame2"
                            << "" << 0;
}

void TestForm1::captionsAfterStartUp() {
    QFETCH(QString, control);
    QFETCH(QString, caption);
    QFETCH(int, length);

    Window window;
    QVERIFY(window.Start());

    QCOMPARE(CaptionOf(window.form, control), caption);
    QCOMPARE(CaptionOf(window.form, control).size(), length);
    // Every "&" is shown as itself: nothing is underlined and no Alt key
    // reaches the control.
    const QString raw = RawCaption(window.form, control);
    QCOMPARE(Shown(raw), caption);
    QCOMPARE(raw.count(QStringLiteral("&&")), caption.count(u'&'));
    QVERIFY2(QKeySequence::mnemonic(raw).isEmpty(), qPrintable(raw));
}

void TestForm1::controlsAfterStartUp() {
    Window window;
    QVERIFY(window.Start());
    Form1& form = window.form;

    QCOMPARE(form.windowTitle(), QStringLiteral("Quorvex"));

    QVERIFY(!form.Option1->isChecked());
    QVERIFY(form.Option2->isChecked());
    QVERIFY(!form.Option3->isChecked());
    QVERIFY(!form.Option4->isChecked());

    QCOMPARE(form.Text1->text(), QString());
    QCOMPARE(form.Text1->maxLength(), 5);
    QCOMPARE(window.Output(), QString());
    QVERIFY(form.Text2->isReadOnly());
    QVERIFY(form.Text2->isLocked());

    for (QLabel* label :
         {form.Label1.get(), form.Label2.get(), form.Label3.get(), form.Label4.get()}) {
        QVERIFY2(label->isHidden(), qPrintable(label->text()));
        QVERIFY(!label->isVisible());
    }
    for (QWidget* shown :
         {static_cast<QWidget*>(form.Option1.get()), static_cast<QWidget*>(form.Option4.get()),
          static_cast<QWidget*>(form.Text1.get()), static_cast<QWidget*>(form.Text2.get()),
          static_cast<QWidget*>(form.Command1.get()), static_cast<QWidget*>(form.Frame2.get()),
          static_cast<QWidget*>(form.Image1.get()), static_cast<QWidget*>(form.Image2.get())}) {
        QVERIFY(shown->isVisible());
    }

    // The window comes up with the keyboard focus in the length box.
    QCOMPARE(NameOf(Focused()), NameOf(form.Text1.get()));
    QCOMPARE(Focused(), form.Text1.get());
}

void TestForm1::startUpAsksPrevInstanceThenSeedsOnce() {
    Window window;
    window.form.Load();
    // Before the window is shown: the guard asked, the source seeded once and
    // no draw yet.
    QVERIFY(!window.form.isVisible());
    QCOMPARE(window.services.calls,
             QStringList({QStringLiteral("PrevInstance"), QStringLiteral("Randomize")}));
    QCOMPARE(window.services.randomize_calls, 1);
    QCOMPARE(window.services.rnd_calls, 0);
    QVERIFY(window.services.boxes.isEmpty());

    window.form.ShowCentred();
    QVERIFY(QTest::qWaitForWindowActive(&window.form));
    window.TypeLength(QStringLiteral("3"));
    window.Draws({1, 2, 3});
    window.ClickGenerate();
    QCOMPARE(window.Output(), QStringLiteral("abc"));
    window.ClickGenerate();
    // Drawing never seeds again.
    QCOMPARE(window.services.randomize_calls, 1);
    QCOMPARE(window.services.calls.count(QStringLiteral("Randomize")), 1);
    QCOMPARE(window.services.calls.indexOf(QStringLiteral("Randomize")), 1);
    QCOMPARE(window.services.calls.count(QStringLiteral("Rnd")), 6);
}

void TestForm1::secondCopyShowsOneBoxAndEnds() {
    Window window;
    window.services.prev_instance = quorvex::runtime::True;

    QVERIFY_THROWS_EXCEPTION(ProgramEnded, window.form.Load());

    QCOMPARE(window.services.boxes.size(), 1);
    QCOMPARE(window.services.boxes[0].prompt,
             QStringLiteral("A copy of program is allready running!"));
    QCOMPARE(window.services.boxes[0].style, 16);
    QCOMPARE(window.services.boxes[0].title, QStringLiteral("Error"));
    QCOMPARE(window.services.calls, QStringList({QStringLiteral("PrevInstance")}));
    QCOMPARE(window.services.randomize_calls, 0);
    QCOMPARE(window.services.rnd_calls, 0);

    // Nothing of the start-up settings ran and the window never showed.
    QCOMPARE(CaptionOf(window.form, QStringLiteral("Option1")), QStringLiteral("Option1"));
    QCOMPARE(CaptionOf(window.form, QStringLiteral("Option4")), QStringLiteral("Option4"));
    QVERIFY(!window.form.Option2->isChecked());
    QCOMPARE(window.form.Text1->text(), QStringLiteral("Text1"));
    QVERIFY(!window.form.Label1->isHidden());
    QVERIFY(!window.form.isVisible());
}

void TestForm1::lengthBoxTakesFiveCharacters() {
    Window window;
    QVERIFY(window.Start());

    QTest::keyClicks(window.form.Text1.get(), QStringLiteral("123456"));
    QCOMPARE(window.form.Text1->text(), QStringLiteral("12345"));
    QTest::keyClick(window.form.Text1.get(), Qt::Key_7);
    QCOMPARE(window.form.Text1->text(), QStringLiteral("12345"));
    QTest::keyClick(window.form.Text1.get(), Qt::Key_Backspace);
    QTest::keyClick(window.form.Text1.get(), Qt::Key_8);
    QCOMPARE(window.form.Text1->text(), QStringLiteral("12348"));
}

void TestForm1::outputBoxIsReadOnlyButSelectable() {
    Window window;
    QVERIFY(window.Start());
    quorvex::app::PasswordBox* box = window.form.Text2.get();

    // Typing into the empty box leaves it empty.
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("xyz"));
    QCOMPARE(window.Output(), QString());

    window.TypeLength(QStringLiteral("4"));
    window.Draws({27, 28, 53, 1});
    window.ClickGenerate();
    QCOMPARE(window.Output(), QStringLiteral("AB1a"));

    box->setFocus();
    QCOMPARE(Focused(), box);
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    QTest::keyClicks(box, QStringLiteral("xyz 9"));
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(window.Output(), QStringLiteral("AB1a"));
    QCOMPARE(box->document()->blockCount(), 1);

    // The text can still be selected, with the keyboard and at once.
    QTest::keyClick(box, Qt::Key_Home);
    QTest::keyClick(box, Qt::Key_Right);
    QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(box->textCursor().selectedText(), QStringLiteral("B1"));
    box->selectAll();
    QCOMPARE(box->textCursor().selectedText(), QStringLiteral("AB1a"));
    QTest::keyClick(box, Qt::Key_End);
    QCOMPARE(box->textCursor().selectedText(), QString());
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(box->textCursor().selectedText(), QStringLiteral("AB1a"));
}

void TestForm1::windowHasFixedSize() {
    Window window;
    QVERIFY(window.Start());
    const QSize design(459, 274);
    QCOMPARE(window.form.size(), design);
    QCOMPARE(window.form.minimumSize(), design);
    QCOMPARE(window.form.maximumSize(), design);
    QCOMPARE(double{window.form.ScaleWidth()}, 459.0);

    window.form.resize(600, 300);
    QCOMPARE(window.form.size(), design);
}

// ---------------------------------------------------------------- layout

void TestForm1::layoutAtDesignWidth_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("top");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    // Where the widget stands, in whole pixels of its container.
    QTest::addColumn<QRect>("pixels");

    QTest::newRow("Frame1") << "Frame1" << 10.0 << 2.0 << 439.0 << 106.0 << QRect(10, 2, 439, 106);
    QTest::newRow("Option1") << "Option1" << 20.0 << 22.0 << 380.0 << 16.0
                             << QRect(20, 22, 380, 16);
    QTest::newRow("Option2") << "Option2" << 20.0 << 42.0 << 380.0 << 16.0
                             << QRect(20, 42, 380, 16);
    QTest::newRow("Option3") << "Option3" << 20.0 << 62.0 << 380.0 << 16.0
                             << QRect(20, 62, 380, 16);
    QTest::newRow("Option4") << "Option4" << 20.0 << 82.0 << 380.0 << 16.0
                             << QRect(20, 82, 380, 16);
    // Half pixels go to the next pixel on the right.
    QTest::newRow("Text1") << "Text1" << 204.5 << 116.0 << 50.0 << 24.0 << QRect(205, 116, 50, 24);
    QTest::newRow("Image1") << "Image1" << 43.5 << 120.0 << 153.0 << 21.0
                            << QRect(44, 120, 153, 21);
    QTest::newRow("Command1") << "Command1" << 179.5 << 148.0 << 100.0 << 30.0
                              << QRect(180, 148, 100, 30);
    QTest::newRow("Frame2") << "Frame2" << 10.0 << 180.0 << 439.0 << 84.0
                            << QRect(10, 180, 439, 84);
    // In Frame2, whose children are measured in twips.
    QTest::newRow("Image2") << "Image2" << 150.0 << 180.0 << 1365.0 << 255.0
                            << QRect(10, 12, 91, 17);
    QTest::newRow("Text2") << "Text2" << 20.0 << 218.0 << 419.0 << 34.0 << QRect(20, 218, 419, 34);
}

void TestForm1::layoutAtDesignWidth() {
    QFETCH(QString, control);
    QFETCH(double, left);
    QFETCH(double, top);
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(QRect, pixels);

    Window window;
    QVERIFY(window.Start());
    const ControlGeometry* geometry = ControlNamed(window.form, control);
    QVERIFY(geometry != nullptr);

    QCOMPARE(double{geometry->Left()}, left);
    QCOMPARE(double{geometry->Top()}, top);
    QCOMPARE(double{geometry->Width()}, width);
    QCOMPARE(double{geometry->Height()}, height);
    QCOMPARE(geometry->widget()->geometry(), pixels);
}

void TestForm1::layoutFollowsInnerWidth_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    QTest::newRow("459") << 459 << 274;
    QTest::newRow("600") << 600 << 274;
    QTest::newRow("odd 501") << 501 << 274;
    QTest::newRow("odd 333") << 333 << 274;
    QTest::newRow("600, taller") << 600 << 400;
}

void TestForm1::layoutFollowsInnerWidth() {
    QFETCH(int, width);
    QFETCH(int, height);

    Window window(QSize(width, height));
    QVERIFY(window.Start());
    const Form1& form = window.form;
    const double w = width;

    QCOMPARE(form.size(), QSize(width, height));
    QCOMPARE(double{form.ScaleWidth()}, w);

    QCOMPARE(double{form.Frame1.Width()}, w - 20);
    QCOMPARE(double{form.Frame2.Width()}, w - 20);
    QCOMPARE(double{form.Text2.Width()}, w - 40);
    QCOMPARE(double{form.Text1.Left()}, w / 2 - 25);
    QCOMPARE(double{form.Command1.Left()}, w / 2 - 50);
    QCOMPARE(double{form.Image1.Left()}, w / 2 - 25 - 153 - 8);
    if (width % 2 == 1) {
        QCOMPARE(double{form.Text1.Left()} - std::floor(double{form.Text1.Left()}), 0.5);
        QCOMPARE(double{form.Command1.Left()} - std::floor(double{form.Command1.Left()}), 0.5);
    }

    // What does not follow the width.
    QCOMPARE(double{form.Frame1.Left()}, 10.0);
    QCOMPARE(double{form.Frame2.Left()}, 10.0);
    QCOMPARE(double{form.Text2.Left()}, 20.0);
    QCOMPARE(double{form.Frame1.Top()}, 2.0);
    QCOMPARE(double{form.Frame1.Height()}, 106.0);
    const double option_tops[] = {22, 42, 62, 82};
    const ControlGeometry* options[] = {&form.Option1, &form.Option2, &form.Option3, &form.Option4};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(double{options[i]->Left()}, 20.0);
        QCOMPARE(double{options[i]->Top()}, option_tops[i]);
        QCOMPARE(double{options[i]->Width()}, 380.0);
        QCOMPARE(double{options[i]->Height()}, 16.0);
    }
    QCOMPARE(double{form.Text1.Top()}, 116.0);
    QCOMPARE(double{form.Image1.Top()}, 120.0);
    QCOMPARE(double{form.Command1.Top()}, 148.0);
    QCOMPARE(double{form.Frame2.Top()}, 180.0);
    QCOMPARE(double{form.Frame2.Height()}, 84.0);
    QCOMPARE(double{form.Text2.Top()}, 218.0);
    QCOMPARE(double{form.Text2.Height()}, 34.0);
    QCOMPARE(double{form.Image2.Left()}, 150.0);
    QCOMPARE(double{form.Image2.Top()}, 180.0);

    // The widgets stand on the nearest pixels.
    QCOMPARE(form.Frame1->geometry(), QRect(10, 2, width - 20, 106));
    QCOMPARE(form.Frame2->geometry(), QRect(10, 180, width - 20, 84));
    QCOMPARE(form.Text2->geometry(), QRect(20, 218, width - 40, 34));
    QCOMPARE(form.Text1->geometry().left(), qRound(w / 2 - 25));
    QCOMPARE(form.Command1->geometry().left(), qRound(w / 2 - 50));
    QCOMPARE(form.Image2->geometry(), QRect(10, 12, 91, 17));
}

void TestForm1::containersOfTheControls() {
    Window window;
    QVERIFY(window.Start());
    const Form1& form = window.form;

    for (const auto& [name, control] : Controls(form)) {
        const bool in_frame2 = name == QStringLiteral("Image2") || name == QStringLiteral("Label2");
        const QWidget* expected =
            in_frame2 ? static_cast<const QWidget*>(form.Frame2.get()) : &form;
        QVERIFY2(control->widget()->parentWidget() == expected, qPrintable(name));
    }

    // The option buttons exclude each other although no frame holds them.
    QVERIFY(ClickOption(form.Option4.get()));
    QVERIFY(!form.Option1->isChecked());
    QVERIFY(!form.Option2->isChecked());
    QVERIFY(!form.Option3->isChecked());
    QVERIFY(ClickOption(form.Option1.get()));
    QVERIFY(!form.Option4->isChecked());
}

// ---------------------------------------------------------------- pictures

void TestForm1::picturesAsLoaded() {
    Window window;
    QVERIFY(window.Start());
    const Form1& form = window.form;

    const QPixmap length_picture = form.Image1->pixmap();
    QVERIFY(!length_picture.isNull());
    QCOMPARE(length_picture.size(), QSize(153, 21));
    QCOMPARE(form.Image1->size(), QSize(153, 21));
    QVERIFY(length_picture.hasAlphaChannel());

    const QPixmap output_picture = form.Image2->pixmap();
    QVERIFY(!output_picture.isNull());
    QCOMPARE(output_picture.size(), QSize(91, 17));
    QCOMPARE(form.Image2->size(), QSize(91, 17));

    const QIcon generate = form.Command1->icon();
    QVERIFY(!generate.isNull());
    QVERIFY2(generate.availableSizes().contains(QSize(80, 16)),
             qPrintable(QStringLiteral("%1 sizes").arg(generate.availableSizes().size())));
    QCOMPARE(form.Command1->iconSize(), QSize(80, 16));

    // The pictures have ink on a see-through ground.
    const QImage ink = length_picture.toImage().convertToFormat(QImage::Format_ARGB32);
    int transparent = 0;
    int dark = 0;
    for (int y = 0; y < ink.height(); ++y) {
        for (int x = 0; x < ink.width(); ++x) {
            const QRgb pixel = ink.pixel(x, y);
            if (qAlpha(pixel) == 0) {
                ++transparent;
            } else if (qGray(pixel) < 64) {
                ++dark;
            }
        }
    }
    QVERIFY(transparent > 0);
    QVERIFY(dark > 0);

    const QIcon icon = form.windowIcon();
    QVERIFY(!icon.isNull());
    QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
    QVERIFY(!icon.pixmap(QSize(32, 32)).isNull());

    QCOMPARE(form.Command1->accessibleName(), QStringLiteral("Generate"));
    QCOMPARE(form.Image1->accessibleName(), QStringLiteral("Password length:"));
    QCOMPARE(form.Image2->accessibleName(), QStringLiteral("Password:"));
}

void TestForm1::controlsLieInFrontOfFrames_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("frame");

    QTest::newRow("Option1") << "Option1"
                             << "Frame1";
    QTest::newRow("Option2") << "Option2"
                             << "Frame1";
    QTest::newRow("Option3") << "Option3"
                             << "Frame1";
    QTest::newRow("Option4") << "Option4"
                             << "Frame1";
    QTest::newRow("Text2") << "Text2"
                           << "Frame2";
}

void TestForm1::controlsLieInFrontOfFrames() {
    QFETCH(QString, control);
    QFETCH(QString, frame);

    Window window;
    QVERIFY(window.Start());
    QWidget* front = ControlNamed(window.form, control)->widget();
    QWidget* behind = ControlNamed(window.form, frame)->widget();

    const QPoint centre = front->geometry().center();
    QVERIFY(behind->geometry().contains(centre));
    QWidget* hit = window.form.childAt(centre);
    QVERIFY2(hit == front || front->isAncestorOf(hit), qPrintable(NameOf(hit)));
}

// ---------------------------------------------------------------- output box

void TestForm1::outputLineShowsAboveScrollBar() {
    Window window;
    QVERIFY(window.Start());
    quorvex::app::PasswordBox* box = window.form.Text2.get();

    // The scroll bar is there before any password.
    QVERIFY(box->horizontalScrollBar()->isVisible());

    window.TypeLength(QStringLiteral("12"));
    window.Draws({27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38});
    window.ClickGenerate();
    QCOMPARE(window.Output(), QStringLiteral("ABCDEFGHIJKL"));

    QVERIFY(box->horizontalScrollBar()->isVisible());
    QVERIFY(!box->verticalScrollBar()->isVisible());
    QCOMPARE(box->document()->blockCount(), 1);
    QCOMPARE(box->document()->firstBlock().layout()->lineCount(), 1);

    QTextCursor start(box->document());
    start.movePosition(QTextCursor::Start);
    const QRect first_line = box->cursorRect(start);
    QVERIFY2(first_line.top() >= 0, qPrintable(QString::number(first_line.top())));
    QVERIFY2(first_line.bottom() < box->viewport()->height(),
             qPrintable(QStringLiteral("line bottom %1, viewport height %2")
                            .arg(first_line.bottom())
                            .arg(box->viewport()->height())));
    // The viewport ends where the scroll bar begins.
    const QPoint viewport_bottom =
        box->viewport()->mapTo(box, QPoint(0, box->viewport()->height()));
    QScrollBar* bar = box->horizontalScrollBar();
    QVERIFY(viewport_bottom.y() <= bar->mapTo(box, QPoint(0, 0)).y());
}

void TestForm1::longPasswordStaysOnOneLineAndScrolls() {
    Window window;
    QVERIFY(window.Start());
    quorvex::app::PasswordBox* box = window.form.Text2.get();

    // The draws 1 to 62 over and over: the alphabet, the capitals, then the
    // digits "1" to "9" and "0".
    int next = 0;
    window.services.fallback_rnd = [&next] {
        const int value = next % 62 + 1;
        ++next;
        return ScriptedServices::DrawFor(value);
    };
    window.TypeLength(QStringLiteral("200"));
    window.ClickGenerate();

    const QString block =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890");
    const QString expected = Repeated(block, 3) + block.left(14);
    QCOMPARE(window.Output(), expected);
    QCOMPARE(box->document()->blockCount(), 1);
    QCOMPARE(box->document()->firstBlock().layout()->lineCount(), 1);
    QVERIFY(!box->verticalScrollBar()->isVisible());

    QScrollBar* bar = box->horizontalScrollBar();
    QVERIFY(bar->isVisible());
    QVERIFY(bar->maximum() > 0);

    QTextCursor end(box->document());
    end.movePosition(QTextCursor::End);
    QVERIFY2(box->cursorRect(end).left() > box->viewport()->width(),
             "the end of a long password starts out of sight");
    bar->setValue(bar->maximum());
    // At the end of its range the bar shows the last character, right at the
    // viewport's edge (the text may end within a pixel past it).
    QTextCursor last(box->document());
    last.movePosition(QTextCursor::End);
    last.movePosition(QTextCursor::Left);
    const int last_left = box->cursorRect(last).left();
    const int end_left = box->cursorRect(end).left();
    const int viewport_width = box->viewport()->width();
    QVERIFY2(last_left >= 0 && end_left <= viewport_width + 1 && end_left > viewport_width - 8,
             qPrintable(QStringLiteral("last character from %1 to %2 in a viewport %3 wide")
                            .arg(last_left)
                            .arg(end_left)
                            .arg(viewport_width)));
    QTextCursor first(box->document());
    QVERIFY2(box->cursorRect(first).left() < 0, "the start has scrolled out of sight");
}

// ---------------------------------------------------------------- keyboard

void TestForm1::tabOrder_data() {
    QTest::addColumn<QString>("selected");

    QTest::newRow("default Option2") << "";
    QTest::newRow("Option4") << "Option4";
    QTest::newRow("Option1") << "Option1";
    QTest::newRow("Option3") << "Option3";
}

void TestForm1::tabOrder() {
    QFETCH(QString, selected);

    Window window;
    QVERIFY(window.Start());
    Form1& form = window.form;
    NameWidgets(form);
    QWidget* option = form.Option2.get();
    if (!selected.isEmpty()) {
        option = OptionNamed(form, selected);
        QVERIFY(ClickOption(static_cast<QRadioButton*>(option)));
    }

    form.Text1->setFocus();
    QCOMPARE(NameOf(Focused()), QStringLiteral("Text1"));

    const QList<QWidget*> forward = {form.Command1.get(), form.Text2.get(), option,
                                     form.Text1.get(), form.Command1.get()};
    for (QWidget* expected : forward) {
        QTest::keyClick(Focused(), Qt::Key_Tab);
        QCOMPARE(NameOf(Focused()), NameOf(expected));
    }

    form.Text1->setFocus();
    const QList<QWidget*> backward = {option, form.Text2.get(), form.Command1.get(),
                                      form.Text1.get(), option};
    for (QWidget* expected : backward) {
        QTest::keyClick(Focused(), Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(NameOf(Focused()), NameOf(expected));
    }
    QCOMPARE(static_cast<QRadioButton*>(option)->isChecked(), true);
}

void TestForm1::arrowKeysMoveTheSelection_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("to");

    QTest::newRow("Option1 down") << "Option1" << int{Qt::Key_Down} << "Option2";
    QTest::newRow("Option2 down") << "Option2" << int{Qt::Key_Down} << "Option3";
    QTest::newRow("Option3 down") << "Option3" << int{Qt::Key_Down} << "Option4";
    QTest::newRow("Option4 up") << "Option4" << int{Qt::Key_Up} << "Option3";
    QTest::newRow("Option2 up") << "Option2" << int{Qt::Key_Up} << "Option1";
}

void TestForm1::arrowKeysMoveTheSelection() {
    QFETCH(QString, from);
    QFETCH(int, key);
    QFETCH(QString, to);

    Window window;
    QVERIFY(window.Start());
    Form1& form = window.form;
    NameWidgets(form);
    QRadioButton* start = OptionNamed(form, from);
    QRadioButton* target = OptionNamed(form, to);
    QVERIFY(ClickOption(start));

    // Reach the option with the keyboard, as the user does.
    form.Text1->setFocus();
    QTest::keyClick(Focused(), Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(NameOf(Focused()), from);

    QTest::keyClick(Focused(), static_cast<Qt::Key>(key));
    QCOMPARE(NameOf(Focused()), to);
    QVERIFY(target->isChecked());
    QVERIFY(!start->isChecked());
}

void TestForm1::framesPicturesAndLabelsTakeNoFocus() {
    Window window;
    QVERIFY(window.Start());
    Form1& form = window.form;
    NameWidgets(form);

    const QList<QWidget*> passive = {form.Frame1.get(), form.Frame2.get(), form.Image1.get(),
                                     form.Image2.get(), form.Label1.get(), form.Label2.get(),
                                     form.Label3.get(), form.Label4.get()};
    for (QWidget* widget : passive) {
        QVERIFY2(widget->focusPolicy() == Qt::NoFocus, qPrintable(NameOf(widget)));
    }

    // Clicking a frame or a picture leaves the focus where it was.
    form.Text1->setFocus();
    QTest::mouseClick(form.Frame1.get(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(form.Frame1->width() - 10, 50));
    QCOMPARE(NameOf(Focused()), QStringLiteral("Text1"));
    QTest::mouseClick(form.Image1.get(), Qt::LeftButton);
    QCOMPARE(NameOf(Focused()), QStringLiteral("Text1"));
    QTest::mouseClick(form.Image2.get(), Qt::LeftButton);
    QCOMPARE(NameOf(Focused()), QStringLiteral("Text1"));

    // A whole round of Tab visits only the four controls of the order.
    QSet<QWidget*> visited;
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(Focused(), Qt::Key_Tab);
        visited.insert(Focused());
    }
    QCOMPARE(visited.size(), 4);
    for (QWidget* widget : passive) {
        QVERIFY(!visited.contains(widget));
    }
}

void TestForm1::enterAndEscDoNotPressTheButton_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("presses");

    QTest::newRow("Return in Text1") << "Text1" << int{Qt::Key_Return} << false;
    QTest::newRow("Enter in Text1") << "Text1" << int{Qt::Key_Enter} << false;
    QTest::newRow("Esc in Text1") << "Text1" << int{Qt::Key_Escape} << false;
    QTest::newRow("Return on Command1") << "Command1" << int{Qt::Key_Return} << false;
    QTest::newRow("Enter on Command1") << "Command1" << int{Qt::Key_Enter} << false;
    QTest::newRow("Esc on Command1") << "Command1" << int{Qt::Key_Escape} << false;
    // The space bar is how the keyboard presses the button.
    QTest::newRow("Space on Command1") << "Command1" << int{Qt::Key_Space} << true;
}

void TestForm1::enterAndEscDoNotPressTheButton() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(bool, presses);

    Window window;
    QVERIFY(window.Start());
    Form1& form = window.form;
    NameWidgets(form);

    window.TypeLength(QStringLiteral("3"));
    window.Draws({27, 53, 5});
    window.ClickGenerate();
    QCOMPARE(window.Output(), QStringLiteral("A1e"));
    const int draws_before = window.services.rnd_calls;

    ControlNamed(form, focus)->widget()->setFocus();
    QCOMPARE(NameOf(Focused()), focus);
    QTest::keyClick(Focused(), static_cast<Qt::Key>(key));

    QVERIFY(window.services.boxes.isEmpty());
    QCOMPARE(form.Text1->text(), QStringLiteral("3"));
    if (presses) {
        QCOMPARE(window.services.rnd_calls, draws_before + 3);
        QCOMPARE(window.Output(), QStringLiteral("aaa"));
    } else {
        QCOMPARE(window.services.rnd_calls, draws_before);
        QCOMPARE(window.Output(), QStringLiteral("A1e"));
    }
}

// ---------------------------------------------------------------- generate

void TestForm1::generateThroughTheWindow_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QList<int>>("draws");
    QTest::addColumn<QString>("password");

    QTest::newRow("Option2, three") << ""
                                    << "3" << QList<int>{0, 27, 99, 62, 5} << "A0e";
    QTest::newRow("Option2, twelve")
        << ""
        << "12" << QList<int>{1, 2, 0, 3, 4, 5, 6, 7, 8, 9, 63, 10, 11, 12} << "abcdefghijkl";
    QTest::newRow("12abc reads 12")
        << ""
        << "12abc" << QList<int>{27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38} << "ABCDEFGHIJKL";
    QTest::newRow("1.4 gives one") << ""
                                   << "1.4" << QList<int>{26} << "z";
    QTest::newRow("1.5 gives two") << ""
                                   << "1.5" << QList<int>{52, 53} << "Z1";
    QTest::newRow("2.5 gives two") << ""
                                   << "2.5" << QList<int>{61, 62} << "90";
    QTest::newRow("Option1") << "Option1"
                             << "4" << QList<int>{1, 53, 62, 63, 57, 52, 58} << "1056";
    QTest::newRow("Option3") << "Option3"
                             << "5" << QList<int>{81, 70, 80, 63, 95, 73, 79} << "**!-.";
    QTest::newRow("Option4") << "Option4"
                             << "6" << QList<int>{95, 94, 91, 93, 0, 81, 86, 69} << "~\\`='&";
}

void TestForm1::generateThroughTheWindow() {
    QFETCH(QString, option);
    QFETCH(QString, length);
    QFETCH(QList<int>, draws);
    QFETCH(QString, password);

    Window window;
    QVERIFY(window.Start());
    if (!option.isEmpty()) {
        QVERIFY(ClickOption(OptionNamed(window.form, option)));
    }

    QTest::keyClicks(window.form.Text1.get(), length);
    QCOMPARE(window.form.Text1->text(), length);
    window.Draws(draws);
    window.ClickGenerate();

    QCOMPARE(window.Output(), password);
    QVERIFY(window.services.boxes.isEmpty());
    QCOMPARE(window.unplanned_draws, 0);
    QVERIFY(window.services.draws.empty());
    // The length typed stays as it was.
    QCOMPARE(window.form.Text1->text(), length);
    QCOMPARE(int{window.form.variables().CharIndex}, static_cast<int>(password.size()) + 1);
}

void TestForm1::refusedLengthsShowTheErrorBox_data() {
    QTest::addColumn<QString>("length");

    QTest::newRow("empty") << "";
    QTest::newRow("abc") << "abc";
    QTest::newRow("0") << "0";
    QTest::newRow("-5") << "-5";
    QTest::newRow("0.9") << "0.9";
    QTest::newRow("32767") << "32767";
    QTest::newRow("99999") << "99999";
}

void TestForm1::refusedLengthsShowTheErrorBox() {
    QFETCH(QString, length);

    Window window;
    QVERIFY(window.Start());
    window.TypeLength(QStringLiteral("2"));
    window.Draws({1, 2});
    window.ClickGenerate();
    QCOMPARE(window.Output(), QStringLiteral("ab"));

    window.TypeLength(length);
    window.ClickGenerate();

    QCOMPARE(window.services.boxes.size(), 1);
    QCOMPARE(window.services.boxes[0].prompt, kLengthError);
    QCOMPARE(window.services.boxes[0].style, 16);
    QCOMPARE(window.services.boxes[0].title, QStringLiteral("Error"));
    QCOMPARE(window.Output(), QString());
    QCOMPARE(window.services.rnd_calls, 2);
}

void TestForm1::longLengths_data() {
    QTest::addColumn<QString>("length");
    QTest::addColumn<int>("answer");  // 0: no box expected
    QTest::addColumn<int>("characters");

    QTest::newRow("999, no warning") << "999" << 0 << 999;
    QTest::newRow("999.5, no warning") << "999.5" << 0 << 1000;
    QTest::newRow("1000, No") << "1000" << MsgBoxResult::No << 0;
    QTest::newRow("1000, Yes") << "1000" << MsgBoxResult::Yes << 1000;
    QTest::newRow("32766, Yes") << "32766" << MsgBoxResult::Yes << 32766;
}

void TestForm1::longLengths() {
    QFETCH(QString, length);
    QFETCH(int, answer);
    QFETCH(int, characters);

    Window window;
    QVERIFY(window.Start());
    window.services.fallback_rnd = [] { return ScriptedServices::DrawFor(53); };
    if (answer != 0) {
        window.services.answers.push_back(answer);
    }
    window.TypeLength(length);
    window.ClickGenerate();

    if (answer == 0) {
        QVERIFY(window.services.boxes.isEmpty());
    } else {
        QCOMPARE(window.services.boxes.size(), 1);
        QCOMPARE(window.services.boxes[0].prompt, kLongLengthWarning);
        QCOMPARE(window.services.boxes[0].style, 308);
        QCOMPARE(window.services.boxes[0].title, QStringLiteral("Warning!"));
        QCOMPARE(window.form.variables().PromptAnswer, QString::number(answer));
    }
    QCOMPARE(window.services.rnd_calls, characters);
    QCOMPARE(window.Output(), QString(characters, u'1'));
    QCOMPARE(window.form.Text2->document()->blockCount(), 1);
}

void TestForm1::option1GivesOnlyDigits() {
    Window window;
    QVERIFY(window.Start());
    QVERIFY(ClickOption(window.form.Option1.get()));
    QVERIFY(!window.form.Option2->isChecked());

    // Every draw from 0 to 99 in turn: only 53..62 give a character.
    int next = 0;
    window.services.fallback_rnd = [&next] { return ScriptedServices::DrawFor(next++ % 100); };
    window.TypeLength(QStringLiteral("50"));
    window.ClickGenerate();

    QCOMPARE(window.Output(), Repeated(QStringLiteral("1234567890"), 5));
    QCOMPARE(next, 4 * 100 + 63);
}

void TestForm1::secondClickReplacesThePassword() {
    Window window;
    QVERIFY(window.Start());
    window.TypeLength(QStringLiteral("3"));
    window.Draws({1, 2, 3, 24, 25, 26});
    window.ClickGenerate();
    QCOMPARE(window.Output(), QStringLiteral("abc"));
    window.ClickGenerate();
    QCOMPARE(window.Output(), QStringLiteral("xyz"));
}

void TestForm1::runtimeErrorIsReportedAndSurvived() {
    Window window;
    QVERIFY(window.Start());
    window.TypeLength(QStringLiteral("12"));
    window.Draws({1, 2});
    window.services.draws.push_back(1e9);
    window.ClickGenerate();

    QCOMPARE(window.services.boxes.size(), 1);
    QVERIFY2(window.services.boxes[0].prompt.startsWith(QStringLiteral("Run-time error '6'")),
             qPrintable(window.services.boxes[0].prompt));
    QCOMPARE(window.services.boxes[0].style, 16);
    QCOMPARE(window.services.boxes[0].title, QStringLiteral("Quorvex"));
    QCOMPARE(window.Output(), QStringLiteral("ab"));
    QCOMPARE(window.services.rnd_calls, 3);
    QVERIFY(window.form.isVisible());

    // The window goes on working.
    window.Draws({27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38});
    window.ClickGenerate();
    QCOMPARE(window.Output(), QStringLiteral("ABCDEFGHIJKL"));
    QCOMPARE(window.services.boxes.size(), 1);
    QCOMPARE(window.unplanned_draws, 0);
}

// ---------------------------------------------------------------- copy shortcut

void TestForm1::copyShortcut_data() {
    QTest::addColumn<QString>("selection");  // all, part or none
    QTest::addColumn<QString>("selected");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QStringList>("log");

    const QString password = QStringLiteral("&\\'aZ0*`");
    const int ctrl = Qt::ControlModifier;
    const int c = Qt::Key_C;

    QTest::newRow("Ctrl+C, all") << "all" << password << c << ctrl
                                 << QStringList{QStringLiteral("clear"), "set:" + password};
    QTest::newRow("Ctrl+C, part") << "part"
                                  << "'aZ" << c << ctrl
                                  << QStringList{QStringLiteral("clear"),
                                                 QStringLiteral("set:'aZ")};
    QTest::newRow("Ctrl+C, none") << "none"
                                  << "" << c << ctrl
                                  << QStringList{QStringLiteral("clear"), QStringLiteral("set:")};
    QTest::newRow("Ctrl+Shift+C") << "all" << password << c
                                  << static_cast<int>(
                                         (Qt::ControlModifier | Qt::ShiftModifier).toInt())
                                  << QStringList{};
    QTest::newRow("Ctrl+Alt+C") << "all" << password << c
                                << static_cast<int>((Qt::ControlModifier | Qt::AltModifier).toInt())
                                << QStringList{};
    QTest::newRow("Ctrl+Shift+Alt+C")
        << "all" << password << c
        << static_cast<int>((Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier).toInt())
        << QStringList{};
    QTest::newRow("C alone") << "all" << password << c << int{Qt::NoModifier} << QStringList{};
    QTest::newRow("Shift+C") << "all" << password << c << int{Qt::ShiftModifier} << QStringList{};
    QTest::newRow("Ctrl+V") << "all" << password << int{Qt::Key_V} << ctrl << QStringList{};
    QTest::newRow("Ctrl+X") << "all" << password << int{Qt::Key_X} << ctrl << QStringList{};
    QTest::newRow("Ctrl+Insert") << "all" << password << int{Qt::Key_Insert} << ctrl
                                 << QStringList{};
}

void TestForm1::copyShortcut() {
    QFETCH(QString, selection);
    QFETCH(QString, selected);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QStringList, log);

    Window window;
    QVERIFY(window.Start());
    QVERIFY(ClickOption(window.form.Option4.get()));
    window.TypeLength(QStringLiteral("8"));
    window.Draws({69, 91, 86, 1, 52, 62, 70, 93});
    window.ClickGenerate();
    const QString password = QStringLiteral("&\\'aZ0*`");
    QCOMPARE(window.Output(), password);

    quorvex::app::PasswordBox* box = window.form.Text2.get();
    box->setFocus();
    QCOMPARE(Focused(), box);
    if (selection == QStringLiteral("all")) {
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    } else if (selection == QStringLiteral("part")) {
        QTest::keyClick(box, Qt::Key_Home);
        QTest::keyClick(box, Qt::Key_Right);
        QTest::keyClick(box, Qt::Key_Right);
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier);
        }
    } else {
        QTest::keyClick(box, Qt::Key_End);
    }
    QCOMPARE(box->textCursor().selectedText(), selected);
    // Selecting with the keyboard runs no copy.
    QVERIFY(window.services.clipboard_log.isEmpty());
    QGuiApplication::clipboard()->clear();

    QTest::keyClick(box, static_cast<Qt::Key>(key), Qt::KeyboardModifiers(modifiers));

    QCOMPARE(window.services.clipboard_log, log);
    QCOMPARE(window.Output(), password);
    QVERIFY(window.services.boxes.isEmpty());

    if (!log.isEmpty() && !selected.isEmpty()) {
        // The box's own copy follows the handler: the same text, marked
        // secret for clipboard managers.
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data != nullptr);
        QVERIFY(data->hasText());
        QCOMPARE(data->text(), selected);
        QVERIFY(data->hasFormat(QStringLiteral("x-kde-passwordManagerHint")));
        QCOMPARE(data->data(QStringLiteral("x-kde-passwordManagerHint")),
                 QByteArrayLiteral("secret"));
    }
}

void TestForm1::ctrlCInLengthBoxCopiesNothing() {
    Window window;
    QVERIFY(window.Start());
    window.TypeLength(QStringLiteral("3"));
    window.Draws({1, 2, 3});
    window.ClickGenerate();
    QCOMPARE(window.Output(), QStringLiteral("abc"));

    window.form.Text1->setFocus();
    window.form.Text1->selectAll();
    QTest::keyClick(window.form.Text1.get(), Qt::Key_C, Qt::ControlModifier);
    QVERIFY(window.services.clipboard_log.isEmpty());

    // The same key in the output box does copy: the handler is Text2's.
    window.form.Text2->setFocus();
    window.form.Text2->selectAll();
    QTest::keyClick(window.form.Text2.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(window.services.clipboard_log,
             QStringList({QStringLiteral("clear"), QStringLiteral("set:abc")}));
}

QTEST_MAIN(TestForm1)
#include "test_form1.moc"
