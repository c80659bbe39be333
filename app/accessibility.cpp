#include "app/accessibility.h"

#include "app/form1.h"
#include "app/password_box.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextCursor>
#include <algorithm>
#include <initializer_list>

namespace quorvex::app {

namespace {

// Set on a window once its controls carry their accessible names: from then
// on the factory below may look at them.
constexpr char kArrangedProperty[] = "quorvexAccessibleTree";

using Relations = QList<QPair<QAccessibleInterface*, QAccessible::Relation>>;

QAccessibleInterface* InterfaceOf(const QPointer<QWidget>& widget) {
    return widget.isNull() ? nullptr : QAccessible::queryAccessibleInterface(widget.data());
}

// A control whose accessible children are listed here in reading order,
// instead of being its widget children: the window, and the two frames,
// which hold for assistive technology what they surround on screen.
class ArrangedAccessible : public QAccessibleWidget {
  public:
    ArrangedAccessible(QWidget* widget, QAccessible::Role role,
                       std::initializer_list<QWidget*> children)
        : QAccessibleWidget(widget, role), children_(children.begin(), children.end()) {}

    int childCount() const override { return static_cast<int>(children_.size()); }

    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= children_.size()) {
            return nullptr;
        }
        return InterfaceOf(children_.at(index));
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        if (child == nullptr) {
            return -1;
        }
        const auto found = std::find(children_.cbegin(), children_.cend(), child->object());
        return found == children_.cend() ? -1 : static_cast<int>(found - children_.cbegin());
    }

  private:
    QList<QPointer<QWidget>> children_;
};

// An option button, which a screen reader finds inside the character set
// group although on screen it is a child of the window itself.
class OptionAccessible : public QAccessibleWidget {
  public:
    OptionAccessible(QRadioButton* button, QWidget* group)
        : QAccessibleWidget(button, QAccessible::RadioButton), group_(group) {}

    QAccessibleInterface* parent() const override {
        return group_.isNull() ? QAccessibleWidget::parent() : InterfaceOf(group_);
    }

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            // The caption as it reads, every "&" a character of its own.
            return Caption(button());
        }
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = button()->isChecked();
        return state;
    }

    QStringList actionNames() const override {
        QStringList names;
        if (widget()->isEnabled()) {
            names << pressAction() << toggleAction();
        }
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        if (action != pressAction() && action != toggleAction()) {
            QAccessibleWidget::doAction(action);
            return;
        }
        // Pressing or toggling selects the option as a click does; a chosen
        // option stays chosen, as on screen.
        if (widget()->isEnabled()) {
            button()->click();
        }
    }

  private:
    QRadioButton* button() const { return static_cast<QRadioButton*>(widget()); }

    QPointer<QWidget> group_;
};

// A picture of words that labels a control: read as a label with the
// picture's words, and linked to the control it names.
class PictureAccessible : public QAccessibleWidget {
  public:
    explicit PictureAccessible(QLabel* picture)
        : QAccessibleWidget(picture, QAccessible::StaticText) {}

    Relations relations(QAccessible::Relation match) const override {
        Relations found = QAccessibleWidget::relations(match);
        QWidget* buddy = static_cast<QLabel*>(widget())->buddy();
        if ((match & QAccessible::Labelled) && buddy != nullptr) {
            if (QAccessibleInterface* named = QAccessible::queryAccessibleInterface(buddy)) {
                found.append({named, QAccessible::Labelled});
            }
        }
        return found;
    }
};

// The output box. Qt's own interface for a text edit lets assistive
// technology replace or delete the text even when the box is read-only, so
// this one offers the text to read, select and scroll, and no way to edit
// it. The box's scroll bars are left out: the text interface reaches every
// character.
class OutputBoxAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    OutputBoxAccessible(PasswordBox* box, QWidget* group)
        : QAccessibleWidget(box, QAccessible::EditableText), group_(group) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessibleInterface* parent() const override {
        return group_.isNull() ? QAccessibleWidget::parent() : InterfaceOf(group_);
    }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int /*index*/) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface* /*child*/) const override { return -1; }

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value) {
            return box()->toPlainText();
        }
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = box()->isReadOnly();
        state.editable = !box()->isReadOnly();
        state.selectableText = true;
        // The password always stands on one line.
        state.multiLine = false;
        return state;
    }

    // The picture that names the box stands in the frame, not beside the box,
    // so the widget's own search among its siblings does not find it.
    Relations relations(QAccessible::Relation match) const override {
        Relations found = QAccessibleWidget::relations(match);
        if (!(match & QAccessible::Label)) {
            return found;
        }
        for (QLabel* label : widget()->window()->findChildren<QLabel*>()) {
            if (label->buddy() != widget()) {
                continue;
            }
            QAccessibleInterface* named = QAccessible::queryAccessibleInterface(label);
            const bool known = std::any_of(found.cbegin(), found.cend(), [named](const auto& r) {
                return r.first == named && r.second == QAccessible::Label;
            });
            if (named != nullptr && !known) {
                found.append({named, QAccessible::Label});
            }
        }
        return found;
    }

    // QAccessibleTextInterface: one selection at most, that of the box.
    void selection(int selection_index, int* start_offset, int* end_offset) const override {
        const QTextCursor cursor = box()->textCursor();
        const bool selected = selection_index == 0 && cursor.hasSelection();
        *start_offset = selected ? cursor.selectionStart() : 0;
        *end_offset = selected ? cursor.selectionEnd() : 0;
    }

    int selectionCount() const override { return box()->textCursor().hasSelection() ? 1 : 0; }

    void addSelection(int start_offset, int end_offset) override {
        setSelection(0, start_offset, end_offset);
    }

    void removeSelection(int selection_index) override {
        if (selection_index != 0) {
            return;
        }
        QTextCursor cursor = box()->textCursor();
        cursor.clearSelection();
        box()->setTextCursor(cursor);
    }

    void setSelection(int selection_index, int start_offset, int end_offset) override {
        if (selection_index != 0) {
            return;
        }
        QTextCursor cursor = box()->textCursor();
        cursor.setPosition(Clamped(start_offset));
        cursor.setPosition(Clamped(end_offset), QTextCursor::KeepAnchor);
        box()->setTextCursor(cursor);
    }

    int cursorPosition() const override { return box()->textCursor().position(); }

    void setCursorPosition(int position) override {
        QTextCursor cursor = box()->textCursor();
        cursor.setPosition(Clamped(position));
        box()->setTextCursor(cursor);
    }

    QString text(int start_offset, int end_offset) const override {
        const int start = Clamped(start_offset);
        return box()->toPlainText().mid(start, std::max(Clamped(end_offset) - start, 0));
    }

    int characterCount() const override { return static_cast<int>(box()->toPlainText().size()); }

    // On the screen, as assistive technology asks.
    QRect characterRect(int offset) const override {
        const QString all = box()->toPlainText();
        if (offset < 0 || offset > all.size()) {
            return {};
        }
        QRect rect = CaretRect(offset);
        rect.setWidth(offset < all.size() ? box()->fontMetrics().horizontalAdvance(all.at(offset))
                                          : 1);
        return {box()->viewport()->mapToGlobal(rect.topLeft()), rect.size()};
    }

    int offsetAtPoint(const QPoint& point) const override {
        const QPoint inside = box()->viewport()->mapFromGlobal(point);
        if (!box()->viewport()->rect().contains(inside)) {
            return -1;
        }
        // The nearest caret place may lie after the character hit.
        int offset = box()->cursorForPosition(inside).position();
        if (offset > 0 && CaretRect(offset).left() > inside.x()) {
            --offset;
        }
        return offset;
    }

    void scrollToSubstring(int start_index, int end_index) override {
        const int from = CaretRect(Clamped(start_index)).left();
        const int to = CaretRect(Clamped(end_index)).right();
        const int shown = box()->viewport()->width();
        int shift = to > shown ? to - shown : 0;
        if (from - shift < 0) {
            shift = from;
        }
        QScrollBar* bar = box()->horizontalScrollBar();
        bar->setValue(bar->value() + shift);
    }

    QString attributes(int /*offset*/, int* start_offset, int* end_offset) const override {
        // One plain run: the box has a single font and colour.
        *start_offset = 0;
        *end_offset = characterCount();
        return {};
    }

  private:
    PasswordBox* box() const { return static_cast<PasswordBox*>(widget()); }

    int Clamped(int offset) const { return std::clamp(offset, 0, characterCount()); }

    // The caret's place before a character, in the box's viewport.
    QRect CaretRect(int offset) const {
        QTextCursor cursor(box()->document());
        cursor.setPosition(Clamped(offset));
        return box()->cursorRect(cursor);
    }

    QPointer<QWidget> group_;
};

// The interfaces of the window's own arrangement; nullptr leaves a widget to
// Qt's own interfaces.
QAccessibleInterface* NewInterface(Form1& form, QWidget* widget) {
    if (widget == &form) {
        // Top to bottom, and on the length row the picture before the box.
        return new ArrangedAccessible(&form, QAccessible::Window,
                                      {form.Frame1.get(), form.Image1.get(), form.Text1.get(),
                                       form.Command1.get(), form.Frame2.get()});
    }
    if (widget == form.Frame1.get()) {
        // The option buttons in screen order; the frame holds them on screen,
        // though not as their widget parent.
        return new ArrangedAccessible(
            widget, QAccessible::Grouping,
            {form.Option1.get(), form.Option2.get(), form.Option3.get(), form.Option4.get()});
    }
    if (widget == form.Frame2.get()) {
        // The picture and the box it names; the hidden label stays out.
        return new ArrangedAccessible(widget, QAccessible::Grouping,
                                      {form.Image2.get(), form.Text2.get()});
    }
    for (QRadioButton* option :
         {form.Option1.get(), form.Option2.get(), form.Option3.get(), form.Option4.get()}) {
        if (widget == option) {
            return new OptionAccessible(option, form.Frame1.get());
        }
    }
    for (QLabel* picture : {form.Image1.get(), form.Image2.get()}) {
        if (widget == picture) {
            return new PictureAccessible(picture);
        }
    }
    if (widget == form.Text2.get()) {
        return new OutputBoxAccessible(form.Text2.get(), form.Frame2.get());
    }
    return nullptr;
}

QAccessibleInterface* ArrangedInterface(const QString& /*class_name*/, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr) {
        return nullptr;
    }
    auto* form = qobject_cast<Form1*>(widget->window());
    if (form == nullptr || !form->property(kArrangedProperty).toBool()) {
        return nullptr;
    }
    return NewInterface(*form, widget);
}

}  // namespace

void SetUpAccessibility(Form1& form) {
    form.Text1->setAccessibleName(QStringLiteral("Password length"));
    form.Image1->setBuddy(form.Text1.get());
    form.Text2->setAccessibleName(QStringLiteral("Password"));
    form.Image2->setBuddy(form.Text2.get());
    form.Command1->setAccessibleDescription(
        QStringLiteral("Makes a new password of the chosen length"));
    form.Frame1->setAccessibleName(QString::fromLatin1(kCharacterSetGroupName));
    form.Option1->setAccessibleDescription(QStringLiteral("digits"));
    form.Option2->setAccessibleDescription(QStringLiteral("letters and digits"));
    form.Option3->setAccessibleDescription(QStringLiteral("letters, digits and 17 symbols"));
    form.Option4->setAccessibleDescription(QStringLiteral("letters, digits and 31 symbols"));

    form.setProperty(kArrangedProperty, true);
    // Factories installed later are asked first, so this one comes before
    // Qt's own for buttons, frames, labels and text edits.
    QAccessible::installFactory(ArrangedInterface);

    // With a screen reader listening, building the controls has already made
    // Qt's own interfaces for some of them; they would keep showing the plain
    // widget tree, so they make way for the arranged ones.
    for (QWidget* widget :
         {static_cast<QWidget*>(&form), form.Frame1.widget(), form.Frame2.widget(),
          form.Option1.widget(), form.Option2.widget(), form.Option3.widget(),
          form.Option4.widget(), form.Image1.widget(), form.Image2.widget(), form.Text2.widget()}) {
        if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(widget)) {
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
        }
    }
}

}  // namespace quorvex::app
