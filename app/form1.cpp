#include "app/form1.h"

#include "app/accessibility.h"
#include "app/fonts.h"
#include "app/frame_placement.h"
#include "app/key_codes.h"
#include "app/password_box.h"
#include "app/picture.h"
#include "app/title_bar.h"
#include "runtime/event_handler.h"

#include <QApplication>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <array>

namespace quorvex::app {

using runtime::Integer;
using runtime::True;

namespace {

// A control of the window: its stored twips become the window's pixels.
QRectF InWindow(double left, double top, double width, double height) {
    return {QPointF(left, top) / kTwipsPerPixel, QSizeF(width, height) / kTwipsPerPixel};
}

constexpr double kPixel = 1;  // window children: one unit a pixel

const char* const kCaption3 = "a-z A-Z 0-9 !@#$%^&*()_+;:,.-*";
const char* const kCaption4 = "a-z A-Z 0-9 !@#$%^&*()_+;:,.-* =[]{}'<>/?\\|`~";

// The output box stands out in the desktop's menu colour.
void UseMenuColour(QWidget* box) {
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, QApplication::palette("QMenu").color(QPalette::Window));
    box->setPalette(palette);
}

// Qt reads a single "&" as a shortcut marker; doubled, it shows as itself.
QString Shown(const QString& caption) {
    return QString(caption).replace(u'&', QStringLiteral("&&"));
}

QString Unshown(const QString& text) {
    return QString(text).replace(QStringLiteral("&&"), QStringLiteral("&"));
}

}  // namespace

void SetCaption(QAbstractButton* button, const QString& caption) {
    button->setText(Shown(caption));
}

void SetCaption(QGroupBox* frame, const QString& caption) {
    frame->setTitle(Shown(caption));
}

QString Caption(const QAbstractButton* button) {
    return Unshown(button->text());
}

QString Caption(const QGroupBox* frame) {
    return Unshown(frame->title());
}

Form1::Form1(runtime::Services& services, QSize client_size, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      title_bar_(AddOwnTitleBar(*this)),
      Option1(new QRadioButton(this), kPixel, InWindow(360, 480, 5700, 300)),
      Option4(new QRadioButton(this), kPixel, InWindow(360, 1440, 1215, 375)),
      Option3(new QRadioButton(this), kPixel, InWindow(300, 1170, 5700, 300)),
      Option2(new QRadioButton(this), kPixel, InWindow(300, 810, 5700, 300)),
      Text2(new PasswordBox(this), kPixel, InWindow(2280, 3060, 6000, 570)),
      Text1(new QLineEdit(this), kPixel, InWindow(2160, 1770, 825, 420)),
      Command1(new QPushButton(this), kPixel, InWindow(2400, 2310, 1500, 450)),
      Frame1(new QGroupBox(this), kPixel, InWindow(150, 150, 6000, 1500)),
      Frame2(new QGroupBox(this), kPixel, InWindow(480, 3120, 1215, 735)),
      // Controls inside a frame keep twips.
      Image2(new PictureLabel(Picture(QStringLiteral(":/password")), Frame2.get()), kTwipsPerPixel,
             QRectF(960, 480, 1365, 255)),
      Label2(new QLabel(Frame2.get()), kTwipsPerPixel, QRectF(120, 240, 1080, 420)),
      Image1(new PictureLabel(Picture(QStringLiteral(":/password_length")), this), kPixel,
             InWindow(1800, 2160, 2295, 315)),
      Label4(new QLabel(this), kPixel, InWindow(4080, 1800, 2655, 1095)),
      Label1(new QLabel(this), kPixel, InWindow(120, 1800, 1815, 420)),
      Label3(new QLabel(this), kPixel, InWindow(480, 2520, 975, 255)),
      services_(services) {
    setWindowTitle(QStringLiteral("Quorvex"));
    setWindowIcon(ProgramIcon());
    // A fixed single border: the user cannot resize the window.
    setFixedSize(client_size.grownBy(contentsMargins()));

    SetCaption(Option1.get(), QStringLiteral("Option1"));
    SetCaption(Option2.get(), QStringLiteral("Option2"));
    SetCaption(Option3.get(), QStringLiteral("Option3"));
    SetCaption(Option4.get(), QStringLiteral("Option4"));
    Text1->setText(QStringLiteral("Text1"));
    Text2->setPlainText(QStringLiteral("Text2"));
    SetCaption(Command1.get(), QStringLiteral("Command1"));
    SetCaption(Frame1.get(), QStringLiteral("Frame1"));
    SetCaption(Frame2.get(), QStringLiteral("Frame2"));
    Label1->setText(QStringLiteral("Label1"));
    Label2->setText(QStringLiteral("Label2"));
    Label3->setText(QStringLiteral("Label3"));
    Label4->setText(QStringLiteral("Label4"));

    const QFont f1 = FixedsysFont();
    const QFont f2 = LucidaHandwritingFont();
    for (QWidget* widget : {Option1.widget(), Option2.widget(), Option3.widget(), Option4.widget(),
                            Text1.widget(), Text2.widget(), Frame1.widget()}) {
        widget->setFont(f1);
    }
    for (QWidget* widget : {Command1.widget(), Label1.widget(), Label2.widget()}) {
        widget->setFont(f2);
    }

    UseMenuColour(Text2.get());

    // The button shows its picture alone; neither Enter nor Esc presses it.
    ShowButtonPicture(Command1.get(), Picture(QStringLiteral(":/generate")));
    Command1->setAutoDefault(false);
    Command1->setDefault(false);

    // The frames lie behind the controls they surround.
    Frame2->lower();
    Frame1->lower();

    for (QWidget* widget : {Frame1.widget(), Frame2.widget(), Image1.widget(), Image2.widget(),
                            Label1.widget(), Label2.widget(), Label3.widget(), Label4.widget()}) {
        widget->setFocusPolicy(Qt::NoFocus);
    }

    connect(Command1.get(), &QPushButton::clicked, this,
            [this] { runtime::RunEventHandler(services_, [this] { Command1_Click(); }); });
    Text2->installEventFilter(this);
    SetUpAccessibility(*this);
}

Form1::~Form1() = default;

void Form1::Load() {
    runtime::RunEventHandler(services_, [this] { Form_Load(); });
}

void Form1::ShowCentred() {
    ShowPlaced(*this, PlaceFrameCentred(*this));
    activateWindow();
    raise();
}

runtime::Single Form1::ScaleWidth() const {
    return static_cast<runtime::Single>(contentsRect().width());
}

void Form1::Form_Load() {
    // Only one copy may run.
    if (services_.PrevInstance() == True) {
        services_.MsgBox(QStringLiteral("A copy of program is allready running!"),
                         runtime::MsgBoxStyle::Critical, QStringLiteral("Error"));
        services_.End();
    }
    services_.Randomize();

    SetCaption(Frame1.get(), QString());
    SetCaption(Option1.get(), QStringLiteral("0-9"));
    Option2->setChecked(true);
    SetCaption(Option2.get(), QStringLiteral("a-z A-Z 0-9"));
    SetCaption(Option3.get(), QString::fromLatin1(kCaption3));
    SetCaption(Option4.get(), QString::fromLatin1(kCaption4));
    Text1->setText(QString());
    Text1->setMaxLength(5);
    SetCaption(Command1.get(), QString());
    SetCaption(Frame2.get(), QString());
    Text2->setPlainText(QString());
    Text2->setLocked(true);
    Label1->setVisible(false);
    Label2->setVisible(false);
    Label3->setVisible(false);
    Label4->setVisible(false);

    Frame1.setHeight(106);
    Frame1.setWidth(double{ScaleWidth()} - 20);
    Frame1.setTop(2);
    Frame1.setLeft(10);
    Option1.setHeight(16);
    Option1.setWidth(380);
    Option1.setTop(double{Frame1.Top()} + 20);
    Option1.setLeft(double{Frame1.Left()} + 10);
    Option2.setHeight(16);
    Option2.setWidth(380);
    Option2.setTop(double{Option1.Height()} + Option1.Top() + 4);
    Option2.setLeft(double{Frame1.Left()} + 10);
    Option3.setHeight(16);
    Option3.setWidth(380);
    Option3.setTop(double{Option2.Height()} + Option2.Top() + 4);
    Option3.setLeft(double{Frame1.Left()} + 10);
    Option4.setHeight(16);
    Option4.setWidth(380);
    Option4.setTop(double{Option3.Height()} + Option3.Top() + 4);
    Option4.setLeft(double{Frame1.Left()} + 10);
    Text1.setHeight(24);
    Text1.setWidth(50);
    Text1.setTop(double{Frame1.Height()} + Frame1.Top() + 8);
    Text1.setLeft(double{ScaleWidth()} / 2 - double{Text1.Width()} / 2);
    Image1.setTop(double{Text1.Top()} + 4);
    Image1.setLeft(double{Text1.Left()} - Image1.Width() - 8);
    Command1.setHeight(30);
    Command1.setWidth(100);
    Command1.setTop(double{Text1.Height()} + Text1.Top() + 8);
    Command1.setLeft(double{ScaleWidth()} / 2 - double{Command1.Width()} / 2);
    Frame2.setHeight(84);
    Frame2.setWidth(double{ScaleWidth()} - 20);
    Frame2.setTop(double{Command1.Height()} + Command1.Top() + 2);
    Frame2.setLeft(10);
    // Image2 lives in Frame2, which measures its children in twips: these
    // window numbers put it 10 pixels right of and 12 below the frame's corner.
    Image2.setTop(Frame2.Top());
    Image2.setLeft(double{Frame2.Left()} + 140);
    Text2.setHeight(34);
    Text2.setWidth(double{ScaleWidth()} - 40);
    Text2.setTop(double{Frame2.Top()} + 38);
    Text2.setLeft(20);

    Text1->setFocus(Qt::OtherFocusReason);
}

void Form1::Command1_Click() {
    generator::Command1_Click(*this, vars_, services_);
}

void Form1::Text2_KeyDown(Integer& KeyCode, Integer& Shift) {
    const bool c_key = KeyCode == KeyCodes::C;
    const bool ctrl_alone = Shift == ShiftBits::Ctrl;
    if (!(c_key && ctrl_alone)) {
        return;
    }
    services_.ClipboardClear();
    services_.ClipboardSetText(Text2->textCursor().selectedText());
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Text2.get() && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        Integer key_code = KeyCodeOf(ShortcutKey(*key));
        Integer shift = ShiftOf(key->modifiers());
        runtime::RunEventHandler(services_, [&] { Text2_KeyDown(key_code, shift); });
        // The key goes on to the box: the handler never consumes it.
    }
    return QWidget::eventFilter(watched, event);
}

std::array<QRadioButton*, 4> Form1::Options() const {
    return {Option1.get(), Option2.get(), Option3.get(), Option4.get()};
}

QWidget* Form1::SelectedOption() const {
    const std::array<QRadioButton*, 4> options = Options();
    const auto selected = std::ranges::find_if(options, &QRadioButton::isChecked);
    return selected != options.end() ? *selected : Option1.get();
}

bool Form1::focusNextPrevChild(bool next) {
    const std::array<QWidget*, 4> order = {Text1.get(), Command1.get(), Text2.get(),
                                           SelectedOption()};
    const int count = static_cast<int>(order.size());
    const QWidget* current = focusWidget();
    // Any option button stands in the order where the selected one does.
    const int index = qobject_cast<const QRadioButton*>(current) != nullptr
                          ? count - 1
                          : static_cast<int>(std::ranges::find(order, current) - order.begin());
    const int target =
        index == count ? (next ? 0 : count - 1) : (index + (next ? 1 : -1) + count) % count;
    order[static_cast<std::size_t>(target)]->setFocus(next ? Qt::TabFocusReason
                                                           : Qt::BacktabFocusReason);
    return true;
}

QString Form1::LengthText() const {
    return Text1->text();
}

bool Form1::OptionSelected(generator::OptionButton option) const {
    // The buttons are numbered from 1, as their names are.
    return Options()[static_cast<std::size_t>(option) - 1]->isChecked();
}

void Form1::SetOutputText(const QString& text) {
    Text2->setPlainText(text);
}

void Form1::changeEvent(QEvent* event) {
    // A new colour scheme (qt6ct applies one while the program runs): the
    // output box takes the new menu colour, as at start-up. The pictures
    // follow their own palettes.
    if (event->type() == QEvent::PaletteChange) {
        UseMenuColour(Text2.get());
    }
    // The window keeps its size and place: a maximize from a window manager
    // that offers it anyway (icewm), or from Qt's own title bar where the
    // user asks for it on Wayland, is undone.
    if (event->type() == QEvent::WindowStateChange && isMaximized()) {
        QMetaObject::invokeMethod(
            this, [this] { setWindowState(windowState() & ~Qt::WindowMaximized); },
            Qt::QueuedConnection);
    }
    QWidget::changeEvent(event);
}

}  // namespace quorvex::app
