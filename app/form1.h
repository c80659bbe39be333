// The program's one window with its fifteen controls and its three handlers:
// Form_Load, Command1_Click and Text2_KeyDown.
#pragma once

#include "app/control_geometry.h"
#include "generator/generate_command.h"
#include "runtime/services.h"

#include <QSize>
#include <QWidget>
#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QAbstractButton;

namespace quorvex::app {

class PasswordBox;

// The window's inner size as designed: 6885 x 4110 twips.
inline constexpr QSize kDesignClientSize{459, 274};

class Form1 : public QWidget, private generator::GeneratorView {
    Q_OBJECT

    // The program's own title bar where it draws one (null elsewhere), made
    // first so that the controls are placed below it.
    QWidget* const title_bar_;

  public:
    explicit Form1(runtime::Services& services, QSize client_size = kDesignClientSize,
                   QWidget* parent = nullptr);
    ~Form1() override;

    // Raises the window's Load event: runs Form_Load once, before it is shown.
    void Load();
    // Shows the window centred on its screen with the keyboard focus in Text1.
    void ShowCentred();

    // The inner width of the window in pixels, title bar and frame aside.
    runtime::Single ScaleWidth() const;

    // The controls, by the names the handlers use.
    Control<QRadioButton> Option1;
    Control<QRadioButton> Option4;
    Control<QRadioButton> Option3;
    Control<QRadioButton> Option2;
    Control<PasswordBox> Text2;
    Control<QLineEdit> Text1;
    Control<QPushButton> Command1;
    Control<QGroupBox> Frame1;
    Control<QGroupBox> Frame2;
    Control<QLabel> Image2;
    Control<QLabel> Label2;
    Control<QLabel> Image1;
    Control<QLabel> Label4;
    Control<QLabel> Label1;
    Control<QLabel> Label3;

  protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

  private:
    void Form_Load();
    void Command1_Click();
    void Text2_KeyDown(runtime::Integer& KeyCode, runtime::Integer& Shift);

    // The option buttons in screen order.
    std::array<QRadioButton*, 4> Options() const;
    // The order Tab follows: Text1, Command1, Text2, the selected option button.
    QWidget* SelectedOption() const;

    // generator::GeneratorView
    QString LengthText() const override;
    bool OptionSelected(generator::OptionButton option) const override;
    void SetOutputText(const QString& text) override;

    runtime::Services& services_;
    generator::GeneratorVariables vars_;
};

// A caption is shown exactly as written: "&" is a character, not a shortcut
// marker.
void SetCaption(QAbstractButton* button, const QString& caption);
void SetCaption(QGroupBox* frame, const QString& caption);
QString Caption(const QAbstractButton* button);
QString Caption(const QGroupBox* frame);

}  // namespace quorvex::app
