#include "linux/accessibility.h"

#include "linux/password_box.h"
#include "linux/picture.h"
#include "linux/qt_window.h"

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
#include <ranges>

namespace quorvex::desktop {

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

    // Past either end, a null widget, and so no interface.
    QAccessibleInterface* child(int index) const override {
        return InterfaceOf(children_.value(index));
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        return child == nullptr
                   ? -1
                   : static_cast<int>(children_.indexOf(qobject_cast<QWidget*>(child->object())));
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
            return button()->text().replace(QStringLiteral("&&"), QStringLiteral("&"));
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
// picture's words, and linked to the control it names. Qt's own interface for
// a label links it too, but calls one that holds a pixmap an image.
class PictureAccessible : public QAccessibleWidget {
  public:
    explicit PictureAccessible(QLabel* picture)
        : QAccessibleWidget(picture, QAccessible::StaticText) {}

    Relations relations(QAccessible::Relation match) const override {
        Relations found = QAccessibleWidget::relations(match);
        QWidget* buddy = static_cast<QLabel*>(widget())->buddy();
        if ((match & QAccessible::Labelled) && buddy != nullptr) {
            found.append({QAccessible::queryAccessibleInterface(buddy), QAccessible::Labelled});
        }
        return found;
    }
};

// A box's text for assistive technology, to read, select and scroll, in one
// plain run whatever the offset: Qt's own interface for a line edit answers
// every offset with an empty run, from which Orca builds the text it reads
// ("1 selected" for "12"). The boxes differ only in how their caret and
// selection are reached and where a caret place stands on screen.
class TextBoxAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    TextBoxAccessible(QWidget* box, QWidget* surface)
        : QAccessibleWidget(box, QAccessible::EditableText), surface_(surface) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text kind) const override {
        return kind == QAccessible::Value ? Contents() : QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = widget()->inputMethodQuery(Qt::ImReadOnly).toBool();
        state.editable = !state.readOnly;
        state.selectableText = true;
        return state;
    }

    // QAccessibleTextInterface: one selection at most, that of the box.
    void selection(int selection_index, int* start_offset, int* end_offset) const override {
        const bool selected = selection_index == 0 && selectionCount() == 1;
        *start_offset = selected ? std::min(Anchor(), Caret()) : 0;
        *end_offset = selected ? std::max(Anchor(), Caret()) : 0;
    }

    int selectionCount() const override { return Anchor() != Caret() ? 1 : 0; }

    void addSelection(int start_offset, int end_offset) override {
        setSelection(0, start_offset, end_offset);
    }

    void removeSelection(int selection_index) override {
        if (selection_index == 0) {
            Select(Caret(), Caret());
        }
    }

    void setSelection(int selection_index, int start_offset, int end_offset) override {
        if (selection_index == 0) {
            Select(Clamped(start_offset), Clamped(end_offset));
        }
    }

    int cursorPosition() const override { return Caret(); }

    void setCursorPosition(int position) override { Select(Clamped(position), Clamped(position)); }

    QString text(int start_offset, int end_offset) const override {
        const int start = Clamped(start_offset);
        return Contents().mid(start, std::max(Clamped(end_offset) - start, 0));
    }

    int characterCount() const override { return static_cast<int>(Contents().size()); }

    // On the screen, as assistive technology asks.
    QRect characterRect(int offset) const override {
        const QString all = Contents();
        if (offset < 0 || offset > all.size()) {
            return {};
        }
        QRect rect = CaretRect(offset);
        rect.setWidth(
            offset < all.size() ? widget()->fontMetrics().horizontalAdvance(all.at(offset)) : 1);
        return {surface_->mapToGlobal(rect.topLeft()), rect.size()};
    }

    int offsetAtPoint(const QPoint& point) const override {
        const QPoint inside = surface_->mapFromGlobal(point);
        if (!surface_->rect().contains(inside)) {
            return -1;
        }
        // The caret places run left to right on the one line: the character
        // hit is the last one that starts at or before the point.
        const auto places = std::views::iota(0, characterCount() + 1);
        const auto after = std::ranges::partition_point(
            places, [&](int place) { return CaretRect(place).left() <= inside.x(); });
        return std::max(static_cast<int>(after - places.begin()) - 1, 0);
    }

    QString attributes(int /*offset*/, int* start_offset, int* end_offset) const override {
        // One plain run: the box has a single font and colour.
        *start_offset = 0;
        *end_offset = characterCount();
        return {};
    }

  protected:
    int Clamped(int offset) const { return std::clamp(offset, 0, characterCount()); }

    virtual QString Contents() const = 0;
    virtual int Anchor() const = 0;
    virtual int Caret() const = 0;
    // Selects from anchor to caret; both equal, only moves the caret.
    virtual void Select(int anchor, int caret) = 0;
    // The caret's place before a character, on the surface the text is drawn
    // on: its left edge and the line's height.
    virtual QRect CaretRect(int offset) const = 0;

  private:
    QWidget* surface_;
};

// The length box, editable as typing is: within its limit of characters.
class LengthBoxAccessible : public TextBoxAccessible, public QAccessibleEditableTextInterface {
  public:
    explicit LengthBoxAccessible(QLineEdit* box) : TextBoxAccessible(box, box) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::EditableTextInterface) {
            return static_cast<QAccessibleEditableTextInterface*>(this);
        }
        return TextBoxAccessible::interface_cast(type);
    }

    void deleteText(int start_offset, int end_offset) override {
        replaceText(start_offset, end_offset, {});
    }

    void insertText(int offset, const QString& text) override { replaceText(offset, offset, text); }

    void replaceText(int start_offset, int end_offset, const QString& text) override {
        const int start = Clamped(start_offset);
        if (!box()->isReadOnly()) {
            box()->setText(
                Contents().replace(start, std::max(Clamped(end_offset) - start, 0), text));
        }
    }

    // A line edit scrolls to show its caret.
    void scrollToSubstring(int start_index, int end_index) override {
        setCursorPosition(end_index);
        setCursorPosition(start_index);
    }

  protected:
    QString Contents() const override { return box()->text(); }
    int Caret() const override { return box()->cursorPosition(); }
    int Anchor() const override {
        if (!box()->hasSelectedText()) {
            return Caret();
        }
        return Caret() == box()->selectionStart() ? box()->selectionEnd() : box()->selectionStart();
    }
    void Select(int anchor, int caret) override { box()->setSelection(anchor, caret - anchor); }

    // Qt tells only where the caret stands now; another place lies the width
    // of the text between them away.
    QRect CaretRect(int offset) const override {
        const QRect caret = box()->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        const QFontMetrics metrics = box()->fontMetrics();
        const int x = caret.center().x() + metrics.horizontalAdvance(Contents().left(offset)) -
                      metrics.horizontalAdvance(Contents().left(Caret()));
        return {x, caret.top(), 1, caret.height()};
    }

  private:
    QLineEdit* box() const { return static_cast<QLineEdit*>(widget()); }
};

// The output box. Qt's own interface for a text edit lets assistive
// technology replace or delete the text even when the box is read-only, so
// this one offers no way to edit it. The box's scroll bars are left out: the
// text interface reaches every character.
class OutputBoxAccessible : public TextBoxAccessible {
  public:
    OutputBoxAccessible(PasswordBox* box, QWidget* group)
        : TextBoxAccessible(box, box->viewport()), group_(group) {}

    QAccessibleInterface* parent() const override {
        return group_.isNull() ? QAccessibleWidget::parent() : InterfaceOf(group_);
    }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int /*index*/) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface* /*child*/) const override { return -1; }

    // The picture that names the box stands in the frame, not beside the box,
    // so the widget's own search among its siblings does not find it.
    Relations relations(QAccessible::Relation match) const override {
        Relations found = QAccessibleWidget::relations(match);
        if ((match & QAccessible::Label) && !group_.isNull()) {
            for (QLabel* label : group_->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
                if (label->buddy() == widget()) {
                    found.append(
                        {QAccessible::queryAccessibleInterface(label), QAccessible::Label});
                }
            }
        }
        return found;
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

  protected:
    QString Contents() const override { return box()->toPlainText(); }
    int Caret() const override { return box()->textCursor().position(); }
    int Anchor() const override { return box()->textCursor().anchor(); }
    void Select(int anchor, int caret) override {
        QTextCursor cursor = box()->textCursor();
        cursor.setPosition(anchor);
        cursor.setPosition(caret, QTextCursor::KeepAnchor);
        box()->setTextCursor(cursor);
    }
    QRect CaretRect(int offset) const override {
        QTextCursor cursor(box()->document());
        cursor.setPosition(Clamped(offset));
        return box()->cursorRect(cursor);
    }

  private:
    PasswordBox* box() const { return static_cast<PasswordBox*>(widget()); }

    QPointer<QWidget> group_;
};

// The interfaces of the window's own arrangement; nullptr leaves a widget to
// Qt's own interfaces.
QAccessibleInterface* NewInterface(QtWindow& form, QWidget* widget) {
    auto named = [&form](std::string_view name) { return form.Widget(name); };
    if (widget == &form) {
        // Top to bottom, and on the length row the picture before the box.
        return new ArrangedAccessible(
            &form, QAccessible::Window,
            {named("Frame1"), named("Image1"), named("Text1"), named("Command1"), named("Frame2")});
    }
    if (widget == named("Frame1")) {
        // The option buttons in screen order; the frame holds them on screen,
        // though not as their widget parent.
        return new ArrangedAccessible(
            widget, QAccessible::Grouping,
            {named("Option1"), named("Option2"), named("Option3"), named("Option4")});
    }
    if (widget == named("Frame2")) {
        // The picture and the box it names; the hidden label stays out.
        return new ArrangedAccessible(widget, QAccessible::Grouping,
                                      {named("Image2"), named("Text2")});
    }
    // The window's only option buttons are the four, its only pictures the
    // two that name the boxes.
    if (auto* option = qobject_cast<QRadioButton*>(widget)) {
        return new OptionAccessible(option, named("Frame1"));
    }
    if (auto* picture = qobject_cast<PictureLabel*>(widget)) {
        return new PictureAccessible(picture);
    }
    if (auto* length = qobject_cast<QLineEdit*>(widget)) {
        return new LengthBoxAccessible(length);
    }
    if (auto* box = qobject_cast<PasswordBox*>(widget)) {
        return new OutputBoxAccessible(box, named("Frame2"));
    }
    return nullptr;
}

QAccessibleInterface* ArrangedInterface(const QString& /*class_name*/, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    auto* form = widget != nullptr ? qobject_cast<QtWindow*>(widget->window()) : nullptr;
    if (form == nullptr || !form->property(kArrangedProperty).toBool()) {
        return nullptr;
    }
    return NewInterface(*form, widget);
}

}  // namespace

void SetUpAccessibility(QtWindow& form) {
    // Names, descriptions and the boxes the pictures name, as the window's
    // definition gives them.
    for (const runtime::ControlDefinition& control : form.definition().controls) {
        QWidget* widget = form.Widget(control.name);
        widget->setAccessibleName(
            QString::fromStdU16String(std::u16string(control.accessible_name)));
        widget->setAccessibleDescription(
            QString::fromStdU16String(std::u16string(control.accessible_description)));
        if (auto* picture = qobject_cast<QLabel*>(widget);
            picture != nullptr && !control.labels.empty()) {
            picture->setBuddy(form.Widget(control.labels));
        }
    }

    form.setProperty(kArrangedProperty, true);
    // Factories installed later are asked first, so this one comes before
    // Qt's own for buttons, frames, labels and text edits.
    QAccessible::installFactory(ArrangedInterface);

    // With a screen reader listening, building the controls has already made
    // Qt's own interfaces for some of them; they would keep showing the plain
    // widget tree, so they make way for the arranged ones.
    QList<QWidget*> widgets = form.findChildren<QWidget*>();
    widgets.append(&form);
    for (QWidget* widget : widgets) {
        if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(widget)) {
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
        }
    }
}

}  // namespace quorvex::desktop
