// The window as assistive technology sees it through Qt's accessibility
// interfaces, on the offscreen platform: the arranged tree, names, label
// links, the option buttons' actions and the read-only output box.
#include "app/form1.h"
#include "app/password_box.h"
#include "tests/scripted_services.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

using quorvex::app::Form1;
using quorvex::testing::ScriptedServices;

namespace {

struct Window {
    Window() : form(services) {
        // The draws 1 to 62 over and over: a-z, A-Z, then "1" to "9" and "0".
        services.fallback_rnd = [this] { return ScriptedServices::DrawFor(next++ % 62 + 1); };
    }
    bool Start() {
        form.Load();
        form.ShowCentred();
        return QTest::qWaitForWindowActive(&form);
    }
    void Generate(const QString& length) {
        form.Text1->setText(length);
        QTest::mouseClick(form.Command1.get(), Qt::LeftButton);
    }

    ScriptedServices services;
    int next = 0;
    Form1 form;
};

QAccessibleInterface* Of(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget);
}

// One line a node: indentation for depth, role, name, description; every
// child checked to know its parent and its place.
void Walk(QAccessibleInterface* node, int depth, QStringList& lines, QList<QObject*>& objects) {
    lines << QString(depth * 2, u' ') +
                 QStringLiteral("%1 '%2' '%3'")
                     .arg(node->role())
                     .arg(node->text(QAccessible::Name), node->text(QAccessible::Description));
    objects << node->object();
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        QVERIFY2(child != nullptr, qPrintable(lines.last()));
        QCOMPARE(child->parent(), node);
        QCOMPARE(node->indexOfChild(child), i);
        Walk(child, depth + 1, lines, objects);
    }
}

QString Line(int depth, QAccessible::Role role, const QString& name,
             const QString& description = {}) {
    return QString(depth * 2, u' ') +
           QStringLiteral("%1 '%2' '%3'").arg(role).arg(name, description);
}

QList<QAccessibleInterface*> Related(QAccessibleInterface* node, QAccessible::Relation relation) {
    QList<QAccessibleInterface*> found;
    for (const auto& [other, kind] : node->relations(relation)) {
        found << other;
    }
    return found;
}

}  // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

  private slots:
    void treeInReadingOrder() {
        Window window;
        QVERIFY(window.Start());
        QStringList lines;
        QList<QObject*> objects;
        Walk(Of(&window.form), 0, lines, objects);
        if (QTest::currentTestFailed()) {
            return;
        }
        const QStringList expected = {
            Line(0, QAccessible::Window, "Quorvex"),
            Line(1, QAccessible::Grouping, "Character set"),
            Line(2, QAccessible::RadioButton, "0-9", "digits"),
            Line(2, QAccessible::RadioButton, "a-z A-Z 0-9", "letters and digits"),
            Line(2, QAccessible::RadioButton, "a-z A-Z 0-9 !@#$%^&*()_+;:,.-*",
                 "letters, digits and 17 symbols"),
            Line(2, QAccessible::RadioButton, "a-z A-Z 0-9 !@#$%^&*()_+;:,.-* =[]{}'<>/?\\|`~",
                 "letters, digits and 31 symbols"),
            Line(1, QAccessible::StaticText, "Password length:"),
            Line(1, QAccessible::EditableText, "Password length"),
            Line(1, QAccessible::Button, "Generate", "Makes a new password of the chosen length"),
            Line(1, QAccessible::Grouping, ""),
            Line(2, QAccessible::StaticText, "Password:"),
            Line(2, QAccessible::EditableText, "Password"),
        };
        QCOMPARE(lines, expected);
        for (QWidget* hidden : {window.form.Label1.widget(), window.form.Label2.widget(),
                                window.form.Label3.widget(), window.form.Label4.widget()}) {
            QVERIFY(!objects.contains(hidden));
        }
        // The widgets stay where the window keeps them.
        QCOMPARE(window.form.Option3->parentWidget(), &window.form);
        QCOMPARE(window.form.Text2->parentWidget(), &window.form);
        // A point on an option finds it through the group.
        const QPoint on_option3 =
            window.form.Option3->mapToGlobal(window.form.Option3->rect().center());
        QAccessibleInterface* group = Of(&window.form)->childAt(on_option3.x(), on_option3.y());
        QCOMPARE(group, Of(window.form.Frame1.get()));
        QCOMPARE(group->childAt(on_option3.x(), on_option3.y()), Of(window.form.Option3.get()));
    }

    void boxesLabelledByPictures_data() {
        QTest::addColumn<bool>("output");
        QTest::newRow("length box") << false;
        QTest::newRow("output box") << true;
    }

    void boxesLabelledByPictures() {
        QFETCH(bool, output);
        Window window;
        QVERIFY(window.Start());
        QAccessibleInterface* picture =
            Of(output ? window.form.Image2.widget() : window.form.Image1.widget());
        QAccessibleInterface* box =
            Of(output ? window.form.Text2.widget() : window.form.Text1.widget());
        QCOMPARE(Related(box, QAccessible::Label), QList<QAccessibleInterface*>{picture});
        QCOMPARE(Related(picture, QAccessible::Labelled), QList<QAccessibleInterface*>{box});
        QVERIFY(Related(box, QAccessible::Labelled).isEmpty());
        QVERIFY(Related(picture, QAccessible::Label).isEmpty());
    }

    void optionsAndButtonThroughActions() {
        Window window;
        QVERIFY(window.Start());
        QAccessibleInterface* group = Of(window.form.Frame1.get());
        QList<QAccessibleInterface*> options;
        for (int i = 0; i < group->childCount(); ++i) {
            options << group->child(i);
        }
        QCOMPARE(options.size(), 4);
        for (QAccessibleInterface* option : options) {
            QVERIFY(option->state().checkable);
        }
        const auto checked = [&options] {
            QList<int> on;
            for (int i = 0; i < options.size(); ++i) {
                if (options[i]->state().checked) {
                    on << i + 1;
                }
            }
            return on;
        };
        QCOMPARE(checked(), QList<int>{2});
        options[2]->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(checked(), QList<int>{3});
        QVERIFY(window.form.Option3->isChecked() && !window.form.Option2->isChecked());
        // Toggling the chosen option keeps it chosen, as a click on it does.
        options[2]->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(checked(), QList<int>{3});
        options[0]->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(checked(), QList<int>{1});

        window.form.Text1->setText(QStringLiteral("9"));
        QAccessibleInterface* button = Of(window.form.Command1.get());
        QVERIFY(button->actionInterface()->actionNames().contains(
            QAccessibleActionInterface::pressAction()));
        button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_COMPARE(window.form.Text2->toPlainText().size(), 9);
        for (const QChar c : window.form.Text2->toPlainText()) {
            QVERIFY2(c.isDigit(), qPrintable(window.form.Text2->toPlainText()));
        }
    }

    void outputBoxReadsAndSelectsButNeverWrites() {
        Window window;
        QVERIFY(window.Start());
        QAccessibleInterface* box = Of(window.form.Text2.get());
        QVERIFY(box->editableTextInterface() == nullptr);
        QAccessibleTextInterface* text = box->textInterface();
        QVERIFY(text != nullptr);
        QCOMPARE(text->characterCount(), 0);
        QVERIFY(box->state().readOnly && !box->state().editable && box->state().selectableText);
        QCOMPARE(box->childCount(), 0);

        window.Generate(QStringLiteral("12"));
        const QString password = QStringLiteral("abcdefghijkl");
        QCOMPARE(window.form.Text2->toPlainText(), password);
        QCOMPARE(text->characterCount(), 12);
        QCOMPARE(text->text(0, 12), password);
        QCOMPARE(text->text(3, 7), QStringLiteral("defg"));
        QCOMPARE(text->text(10, 99), QStringLiteral("kl"));
        QCOMPARE(box->text(QAccessible::Value), password);

        text->setSelection(0, 2, 6);
        QCOMPARE(window.form.Text2->textCursor().selectedText(), QStringLiteral("cdef"));
        int start = -1;
        int end = -1;
        text->selection(0, &start, &end);
        QCOMPARE(QList<int>({text->selectionCount(), start, end}), QList<int>({1, 2, 6}));
        text->setSelection(0, -5, 50);  // beyond the ends: the whole text
        QCOMPARE(window.form.Text2->textCursor().selectedText(), password);
        text->removeSelection(0);
        QCOMPARE(text->selectionCount(), 0);
        text->setCursorPosition(5);
        QCOMPARE(text->cursorPosition(), 5);
        QCOMPARE(window.form.Text2->toPlainText(), password);

        // Ctrl+C in the box copies what assistive technology selected.
        text->setSelection(0, 0, 4);
        window.form.Text2->setFocus();
        QTest::keyClick(window.form.Text2.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(window.services.clipboard_text, QStringLiteral("abcd"));
    }

    void outputBoxGeometry() {
        Window window;
        QVERIFY(window.Start());
        window.Generate(QStringLiteral("200"));
        quorvex::app::PasswordBox* box = window.form.Text2.get();
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
};

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
