// The output box's text interface at its edges, through Qt's accessibility
// interfaces on the offscreen platform (and so in the sanitizer build too):
// offsets beyond the text, selection, caret, and character places while the
// box scrolls. The AT-SPI test covers the rest of the tree.
#include "tests/qt_form.h"
#include "tests/scripted_services.h"

#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using quorvex::testing::ScriptedServices;

namespace {

struct Window {
    Window() : qt_form(services) {
        // The draws 1 to 62 over and over: a-z, A-Z, then "1" to "9" and "0".
        services.fallback_rnd = [this] { return ScriptedServices::DrawFor(next++ % 62 + 1); };
    }
    bool Start() { return qt_form.Start(); }
    void Generate(const QString& length) {
        ui.Text1->setText(length);
        QTest::mouseClick(ui.Command1, Qt::LeftButton);
    }

    ScriptedServices services;
    int next = 0;
    quorvex::testing::QtForm qt_form;
    const quorvex::testing::Widgets& ui = qt_form.ui;
};

QAccessibleInterface* Of(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget);
}

}  // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

  private slots:
    void outputBoxTextAndSelection() {
        Window window;
        QVERIFY(window.Start());
        QAccessibleInterface* box = Of(window.ui.Text2);
        QVERIFY(box->editableTextInterface() == nullptr);
        QAccessibleTextInterface* text = box->textInterface();
        window.Generate(QStringLiteral("12"));
        const QString password = QStringLiteral("abcdefghijkl");
        QCOMPARE(window.ui.Text2->toPlainText(), password);
        QCOMPARE(text->text(10, 99), QStringLiteral("kl"));
        QCOMPARE(box->text(QAccessible::Value), password);

        text->setSelection(0, 2, 6);
        QCOMPARE(window.ui.Text2->textCursor().selectedText(), QStringLiteral("cdef"));
        int start = -1;
        int end = -1;
        text->selection(0, &start, &end);
        QCOMPARE(QList<int>({text->selectionCount(), start, end}), QList<int>({1, 2, 6}));
        text->setSelection(0, -5, 50);  // beyond the ends: the whole text
        QCOMPARE(window.ui.Text2->textCursor().selectedText(), password);
        text->removeSelection(0);
        QCOMPARE(text->selectionCount(), 0);
        text->setCursorPosition(5);
        QCOMPARE(text->cursorPosition(), 5);
        QCOMPARE(window.ui.Text2->toPlainText(), password);
    }

    void outputBoxGeometry() {
        Window window;
        QVERIFY(window.Start());
        window.Generate(QStringLiteral("200"));
        quorvex::desktop::PasswordBox* box = window.ui.Text2;
        QAccessibleTextInterface* text = Of(box)->textInterface();
        const QRect shown(box->viewport()->mapToGlobal(QPoint(0, 0)), box->viewport()->size());

        // The start shows; each character is found again at its own place.
        for (int i : {0, 1, 7, 20}) {
            const QRect rect = text->characterRect(i);
            QVERIFY2(rect.width() > 0 && shown.contains(rect), qPrintable(QString::number(i)));
            // Anywhere on the character, its right half too.
            for (int x : {rect.left(), rect.center().x(), rect.right()}) {
                QCOMPARE(text->offsetAtPoint(QPoint(x, rect.center().y())), i);
            }
        }
        QVERIFY(!shown.contains(text->characterRect(199)));
        QCOMPARE(text->offsetAtPoint(shown.topLeft() - QPoint(5, 5)), -1);
        QVERIFY(!text->characterRect(201).isValid());

        // Just past the right edge: the box scrolls only as far as it must,
        // and the text before stays in view.
        int hidden = 0;
        while (shown.contains(text->characterRect(hidden))) {
            ++hidden;
        }
        text->scrollToSubstring(hidden, hidden + 1);
        QVERIFY(shown.contains(text->characterRect(hidden)));
        QVERIFY(shown.contains(text->characterRect(hidden - 1)));

        // Scrolled to the end, the last characters show and the first do not.
        text->scrollToSubstring(190, 200);
        QVERIFY(box->horizontalScrollBar()->value() > 0);
        QVERIFY(shown.contains(text->characterRect(199)));
        QVERIFY(shown.contains(text->characterRect(190)));
        QVERIFY(!shown.contains(text->characterRect(0)));
        QCOMPARE(text->offsetAtPoint(text->characterRect(195).center()), 195);
        text->scrollToSubstring(0, 3);
        QVERIFY(shown.contains(text->characterRect(0)));
    }

    void lengthBoxText() {
        Window window;
        QVERIFY(window.Start());
        QLineEdit* box = window.ui.Text1;
        box->setText(QStringLiteral("2000"));
        QAccessibleTextInterface* text = Of(box)->textInterface();
        // Each character where the box draws it, wherever the caret stands,
        // and the caret's place after the last one, which magnifiers follow.
        for (int caret : {0, 2, 4}) {
            box->setCursorPosition(caret);
            for (int i = 0; i <= 4; ++i) {
                const QRect rect = text->characterRect(i);
                QVERIFY2(rect.isValid(), qPrintable(QString::number(i)));
                QCOMPARE(box->cursorPositionAt(box->mapFromGlobal(rect.topLeft())), i);
                QCOMPARE(text->offsetAtPoint(rect.center()), i);
            }
        }
        // A selection made backwards: the box's caret at its start.
        text->setSelection(0, 3, 1);
        int start = -1;
        int end = -1;
        text->selection(0, &start, &end);
        QCOMPARE(QList<int>({start, end, box->cursorPosition()}), QList<int>({1, 3, 1}));
    }
};

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
