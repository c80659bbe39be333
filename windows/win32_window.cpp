#include "windows/win32_window.h"

#include "windows/accessibility.h"
#include "windows/clipboard.h"
#include "windows/pictures.h"
#include "windows/wide.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vsstyle.h>
#include <windowsx.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <map>
#include <vector>

namespace quorvex::windows {

namespace {

using runtime::ControlClass;
using runtime::ControlDefinition;
using runtime::ErrorNumber;
using runtime::FontDefinition;
using runtime::FormDefinition;
using runtime::Integer;
using runtime::Single;
using runtime::String;

// Control ids start above IDOK and IDCANCEL, which the dialog manager sends
// for Enter and Esc.
constexpr int kFirstControlId = 100;
constexpr UINT_PTR kSubclassId = 1;
constexpr UINT kLogicalDpi = 96;

String WindowText(HWND window) {
    String text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, u'\0');
    const int length = GetWindowTextW(window, reinterpret_cast<wchar_t*>(text.data()),
                                      static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(length, 0)));
    return text;
}

// The DPI functions of Windows 10 (1607 and later), looked up so that the
// program still starts on older Windows, where the system DPI serves.
struct DpiFunctions {
    UINT(WINAPI* get_dpi_for_window)(HWND) = nullptr;
    BOOL(WINAPI* adjust_window_rect)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
    BOOL(WINAPI* system_parameters)(UINT, UINT, void*, UINT, UINT) = nullptr;
};

template <typename Function>
void Look(HMODULE module, const char* name, Function& function) {
    function =
        reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const DpiFunctions& Dpi() {
    static const DpiFunctions functions = [] {
        DpiFunctions found;
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        Look(user32, "GetDpiForWindow", found.get_dpi_for_window);
        Look(user32, "AdjustWindowRectExForDpi", found.adjust_window_rect);
        Look(user32, "SystemParametersInfoForDpi", found.system_parameters);
        return found;
    }();
    return functions;
}

// The system's DPI is fixed for the life of the process.
UINT SystemDpi() {
    static const UINT dpi = [] {
        HDC screen = GetDC(nullptr);
        const int found = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        return found > 0 ? static_cast<UINT>(found) : kLogicalDpi;
    }();
    return dpi;
}

UINT WindowDpi(HWND window) {
    if (Dpi().get_dpi_for_window != nullptr) {
        const UINT dpi = Dpi().get_dpi_for_window(window);
        if (dpi != 0) {
            return dpi;
        }
    }
    return SystemDpi();
}

// The message font of the desktop for a DPI: the window system's default
// font, and the stand-in for a face that is missing.
LOGFONTW MessageFont(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (Dpi().system_parameters != nullptr &&
        Dpi().system_parameters(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
        return metrics.lfMessageFont;
    }
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi),
                                            static_cast<int>(SystemDpi()));
    return metrics.lfMessageFont;
}

int CALLBACK FaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FaceInstalled(const wchar_t* face, BYTE charset) {
    LOGFONTW query{};
    query.lfCharSet = charset;
    lstrcpynW(query.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &query, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// A font of the definition at a DPI. The face keeps its character set where
// it has it; a face that has it not keeps the face with whatever set it has;
// a face that is missing gives way to the desktop's message font at the
// definition's size.
HFONT CreateDefinedFont(const FontDefinition& definition, UINT dpi) {
    LOGFONTW font{};
    const std::u16string face(definition.name);
    const auto charset = static_cast<BYTE>(definition.charset);
    if (FaceInstalled(Wide(face), charset)) {
        font.lfCharSet = charset;
        lstrcpynW(font.lfFaceName, Wide(face), LF_FACESIZE);
    } else if (FaceInstalled(Wide(face), DEFAULT_CHARSET)) {
        font.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(font.lfFaceName, Wide(face), LF_FACESIZE);
    } else {
        const LOGFONTW message = MessageFont(dpi);
        font.lfCharSet = message.lfCharSet;
        lstrcpynW(font.lfFaceName, message.lfFaceName, LF_FACESIZE);
    }
    font.lfHeight = -static_cast<LONG>(std::lround(definition.points * dpi / 72));
    font.lfWeight = definition.weight;
    font.lfQuality = DEFAULT_QUALITY;
    return CreateFontIndirectW(&font);
}

class Win32Window;

class Win32Control final : public runtime::NativeControl {
  public:
    Win32Control(Win32Window& window, std::size_t index, const ControlDefinition& definition)
        : window_(window), index_(index), definition_(definition) {}

    HWND hwnd() const { return hwnd_; }
    const ControlDefinition& definition() const { return definition_; }
    std::size_t index() const { return index_; }
    double left() const { return left_; }
    double top() const { return top_; }
    Win32Control* container = nullptr;
    std::unique_ptr<Picture> picture;

    void Create(HWND parent, HINSTANCE instance, DWORD extra_style);

    String Text() const override;
    void SetText(const String& text) override;
    bool Value() const override;
    void SetValue(bool value) override;
    void SetMaxLength(int length) override;
    void SetLocked(bool locked) override;
    String SelText() const override;
    void SetVisible(bool visible) override;
    void Move(double left, double top, double width, double height) override;

    // Places the native control for the window's scale.
    void Place();
    // The accessible name stands in the window text of a control whose
    // caption is not shown as text (a picture, the picture button).
    bool ShowsCaption() const {
        return !definition_.graphical && definition_.control_class != ControlClass::Image;
    }

  private:
    static LRESULT CALLBACK Subclass(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                     UINT_PTR id, DWORD_PTR data);
    LRESULT TextBoxMessage(UINT message, WPARAM wparam, LPARAM lparam);
    void Require(ControlClass control_class) const {
        if (definition_.control_class != control_class) {
            runtime::Raise(ErrorNumber::NotSupported);
        }
    }
    void RequireCaption() const {
        if (definition_.control_class == ControlClass::Image) {
            runtime::Raise(ErrorNumber::NotSupported);
        }
    }
    void CopySelection();
    void ShowContextMenu(LPARAM lparam);

    Win32Window& window_;
    std::size_t index_;
    const ControlDefinition& definition_;
    HWND hwnd_ = nullptr;
    String caption_;  // the caption of the picture button, never drawn as text
    double left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool placed_ = false;
};

class Win32Window final : public runtime::NativeWindow {
  public:
    Win32Window(HINSTANCE instance, int show_command, const FormDefinition& definition,
                runtime::FormEvents& events);
    ~Win32Window() override;

    runtime::NativeControl& Control(std::size_t index) override { return *controls_.at(index); }
    Single ScaleWidth() const override {
        return static_cast<Single>(definition_.client_width / runtime::kTwipsPerPixel);
    }
    void Show() override;
    int Run() override;

    HWND hwnd() const { return hwnd_; }
    double scale() const { return static_cast<double>(dpi_) / kLogicalDpi; }
    // Device pixels of a logical position (edges are rounded, so sizes
    // follow from them).
    int Device(double logical) const { return static_cast<int>(std::lround(logical * scale())); }
    // Runs the program's handler of a control's event; whatever it throws
    // waits until the message loop is left, as no exception may cross
    // Windows' own frames.
    template <typename Handler>
    void RunHandler(Handler&& handler);
    void KeyDown(Win32Control& control, WPARAM key);
    // Keeps the Tab stop of the option group on its chosen button.
    void UpdateOptionTabStops();

  private:
    static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Message(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void CreateControls();
    void ApplyFonts();
    void DeleteFonts();
    void ApplyIcons();
    SIZE FrameSize() const;
    void DrawItem(const DRAWITEMSTRUCT& item);
    void DrawButton(const DRAWITEMSTRUCT& item, const Win32Control& control);
    HBRUSH ControlColour(HDC dc, HWND control);
    // The control a child window id stands for; nullptr for any other id
    // (IDOK and IDCANCEL among them).
    Win32Control* ById(int id) const;

    HINSTANCE instance_;
    int show_command_;
    const FormDefinition& definition_;
    runtime::FormEvents& events_;
    HWND hwnd_ = nullptr;
    UINT dpi_ = kLogicalDpi;
    std::vector<std::unique_ptr<Win32Control>> controls_;
    std::map<const FontDefinition*, HFONT> fonts_;  // nullptr: the default font
    HICON big_icon_ = nullptr;
    HICON small_icon_ = nullptr;
    HWND saved_focus_ = nullptr;
    std::exception_ptr failure_;
    int exit_status_ = 0;
    Accessibility accessibility_;
};

// --- Win32Control ---------------------------------------------------------

void Win32Control::Create(HWND parent, HINSTANCE instance, DWORD extra_style) {
    const wchar_t* window_class = L"STATIC";
    // Controls paint only where none stands in front of them; a frame, which
    // leaves its inside to the window, lies behind what it surrounds.
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | extra_style;
    DWORD ex_style = 0;
    switch (definition_.control_class) {
        case ControlClass::OptionButton:
            window_class = L"BUTTON";
            style |= BS_AUTORADIOBUTTON;
            break;
        case ControlClass::TextBox:
            window_class = L"EDIT";
            style |= WS_TABSTOP | ES_AUTOHSCROLL;
            if (definition_.multi_line) {
                // Several lines that never wrap, with a horizontal scroll bar.
                style |= ES_MULTILINE | WS_HSCROLL;
            }
            ex_style = WS_EX_CLIENTEDGE;
            break;
        case ControlClass::CommandButton:
            window_class = L"BUTTON";
            style |= WS_TABSTOP | (definition_.graphical ? BS_OWNERDRAW : BS_PUSHBUTTON);
            break;
        case ControlClass::Frame:
            window_class = L"BUTTON";
            style |= BS_GROUPBOX;
            break;
        case ControlClass::Image:
            style |= SS_OWNERDRAW;
            break;
        case ControlClass::Label:
            style |= SS_LEFT | SS_NOPREFIX;
            break;
    }
    caption_ = String(definition_.caption);
    const String text = ShowsCaption() ? caption_ : String(definition_.accessible_name);
    hwnd_ = CreateWindowExW(ex_style, window_class, Wide(text), style, 0, 0, 0, 0, parent,
                            reinterpret_cast<HMENU>(kFirstControlId + index_), instance, nullptr);
    if (hwnd_ == nullptr) {
        runtime::Raise(ErrorNumber::OutOfMemory);
    }
    if (definition_.control_class == ControlClass::TextBox) {
        // Up to 32766 characters are set and selected whole.
        SendMessageW(hwnd_, EM_SETLIMITTEXT, 0, 0);
        SetWindowSubclass(hwnd_, Subclass, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    }
}

String Win32Control::Text() const {
    RequireCaption();
    return ShowsCaption() ? WindowText(hwnd_) : caption_;
}

void Win32Control::SetText(const String& text) {
    RequireCaption();
    caption_ = text;
    if (ShowsCaption() && !SetWindowTextW(hwnd_, Wide(text))) {
        runtime::Raise(ErrorNumber::OutOfMemory);
    }
    if (!ShowsCaption()) {
        InvalidateRect(hwnd_, nullptr, FALSE);
    }
}

bool Win32Control::Value() const {
    Require(ControlClass::OptionButton);
    return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32Control::SetValue(bool value) {
    Require(ControlClass::OptionButton);
    SendMessageW(hwnd_, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
    window_.UpdateOptionTabStops();
}

void Win32Control::SetMaxLength(int length) {
    Require(ControlClass::TextBox);
    // 0 is no limit of the program's own: the control's largest.
    SendMessageW(hwnd_, EM_SETLIMITTEXT, static_cast<WPARAM>(length), 0);
}

void Win32Control::SetLocked(bool locked) {
    Require(ControlClass::TextBox);
    SendMessageW(hwnd_, EM_SETREADONLY, locked ? TRUE : FALSE, 0);
}

String Win32Control::SelText() const {
    Require(ControlClass::TextBox);
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    const String text = WindowText(hwnd_);
    start = std::min<DWORD>(start, static_cast<DWORD>(text.size()));
    end = std::clamp<DWORD>(end, start, static_cast<DWORD>(text.size()));
    return text.substr(start, end - start);
}

void Win32Control::SetVisible(bool visible) {
    ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

void Win32Control::Move(double left, double top, double width, double height) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    placed_ = true;
    Place();
}

void Win32Control::Place() {
    if (!placed_ || hwnd_ == nullptr) {
        return;
    }
    double left = left_;
    double top = top_;
    if (container != nullptr) {
        left += container->left();
        top += container->top();
    }
    const int x = window_.Device(left);
    const int y = window_.Device(top);
    SetWindowPos(hwnd_, nullptr, x, y, window_.Device(left + width_) - x,
                 window_.Device(top + height_) - y, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Control::CopySelection() {
    window_.RunHandler([this] { PutSecretText(window_.hwnd(), SelText()); });
}

void Win32Control::ShowContextMenu(LPARAM lparam) {
    // The edit control's own menu would copy past the marks: this one offers
    // what a read-only box can do.
    enum : UINT { kCopy = 1, kSelectAll };
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING | (start == end ? MF_GRAYED : 0), kCopy, L"&Copy");
    AppendMenuW(menu, MF_STRING | (GetWindowTextLengthW(hwnd_) == 0 ? MF_GRAYED : 0), kSelectAll,
                L"Select &All");
    POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    if (at.x == -1 && at.y == -1) {  // from the keyboard: at the box
        RECT box;
        GetWindowRect(hwnd_, &box);
        at = {box.left + 4, box.top + 4};
    }
    SetFocus(hwnd_);
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, hwnd_, nullptr));
    DestroyMenu(menu);
    if (chosen == kCopy) {
        CopySelection();
    } else if (chosen == kSelectAll) {
        SendMessageW(hwnd_, EM_SETSEL, 0, -1);
    }
}

LRESULT CALLBACK Win32Control::Subclass(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                        UINT_PTR, DWORD_PTR data) {
    auto* control = reinterpret_cast<Win32Control*>(data);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, Subclass, kSubclassId);
        return DefSubclassProc(hwnd, message, wparam, lparam);
    }
    return control->TextBoxMessage(message, wparam, lparam);
}

LRESULT Win32Control::TextBoxMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    const bool copies_itself = (definition_.events & runtime::kKeyDown) == 0;
    switch (message) {
        case WM_GETDLGCODE:
            // A box of several lines asks for every key; this one leaves Tab,
            // Enter and Esc to the window, like a box of one line.
            return DefSubclassProc(hwnd_, message, wparam, lparam) & ~DLGC_WANTALLKEYS;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            window_.KeyDown(*this, wparam);
            break;
        case WM_CHAR:
            if (wparam == 1) {  // Ctrl+A
                SendMessageW(hwnd_, EM_SETSEL, 0, -1);
                return 0;
            }
            // A box whose keys the program handles copies only as the program
            // says: Ctrl+C would otherwise copy again, unmarked.
            if (wparam == 3 && !copies_itself) {
                return 0;
            }
            break;
        case WM_COPY:
            if (!copies_itself) {
                CopySelection();
                return 0;
            }
            break;
        case WM_CONTEXTMENU:
            if (!copies_itself) {
                ShowContextMenu(lparam);
                return 0;
            }
            break;
        default:
            break;
    }
    return DefSubclassProc(hwnd_, message, wparam, lparam);
}

// --- Win32Window ----------------------------------------------------------

Win32Window::Win32Window(HINSTANCE instance, int show_command, const FormDefinition& definition,
                         runtime::FormEvents& events)
    : instance_(instance), show_command_(show_command), definition_(definition), events_(events) {
    static const ATOM registered = [instance] {
        WNDCLASSEXW window_class{};
        window_class.cbSize = sizeof window_class;
        window_class.lpfnWndProc = WindowProcedure;
        window_class.hInstance = instance;
        window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        window_class.lpszClassName = kWindowClass;
        window_class.hIcon = static_cast<HICON>(
            LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
        return RegisterClassExW(&window_class);
    }();
    if (registered == 0) {
        runtime::Raise(ErrorNumber::OutOfMemory);
    }
    // A fixed single border: a title bar with minimize and close, no
    // maximize, no sizing.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    hwnd_ = CreateWindowExW(0, kWindowClass, Wide(String(definition.caption)), style, CW_USEDEFAULT,
                            CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, this);
    if (hwnd_ == nullptr) {
        runtime::Raise(ErrorNumber::OutOfMemory);
    }
    dpi_ = WindowDpi(hwnd_);
    const SIZE frame = FrameSize();
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.cx, frame.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyIcons();
    CreateControls();
    ApplyFonts();
}

Win32Window::~Win32Window() {
    accessibility_.Clear();
    if (hwnd_ != nullptr) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    DeleteFonts();
    for (HICON icon : {big_icon_, small_icon_}) {
        if (icon != nullptr) {
            DestroyIcon(icon);
        }
    }
}

SIZE Win32Window::FrameSize() const {
    RECT frame{0, 0, Device(definition_.client_width / runtime::kTwipsPerPixel),
               Device(definition_.client_height / runtime::kTwipsPerPixel)};
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
    const auto ex_style = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
    if (Dpi().adjust_window_rect != nullptr) {
        Dpi().adjust_window_rect(&frame, style, FALSE, ex_style, dpi_);
    } else {
        AdjustWindowRectEx(&frame, style, FALSE, ex_style);
    }
    return {frame.right - frame.left, frame.bottom - frame.top};
}

void Win32Window::ApplyIcons() {
    // The one 32 x 32 image, scaled by the system to the sizes asked for.
    for (auto [icon, which, metric] : {std::tuple{&big_icon_, ICON_BIG, SM_CXICON},
                                       std::tuple{&small_icon_, ICON_SMALL, SM_CXSMICON}}) {
        const int size =
            MulDiv(GetSystemMetrics(metric), static_cast<int>(dpi_), static_cast<int>(SystemDpi()));
        HICON loaded = static_cast<HICON>(
            LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
        if (loaded != nullptr) {
            SendMessageW(hwnd_, WM_SETICON, which, reinterpret_cast<LPARAM>(loaded));
            if (*icon != nullptr) {
                DestroyIcon(*icon);
            }
            *icon = loaded;
        }
    }
}

void Win32Window::CreateControls() {
    const std::size_t count = definition_.controls.size();
    for (std::size_t i = 0; i < count; ++i) {
        controls_.push_back(std::make_unique<Win32Control>(*this, i, definition_.controls[i]));
    }
    auto named = [this](std::string_view name) -> Win32Control* {
        for (auto& control : controls_) {
            if (control->definition().name == name) {
                return control.get();
            }
        }
        return nullptr;
    };

    // Windows keeps the focus order in the stacking order of the controls:
    // they are created in the order of their tab indexes. A picture that
    // labels a box comes just before it, so that screen readers take it for
    // the box's label; the other contents of a frame come just before the
    // frame, so that they lie in front of it.
    std::vector<Win32Control*> order;
    for (auto& control : controls_) {
        control->container = named(control->definition().container);
        order.push_back(control.get());
    }
    auto rank = [&](const Win32Control* control) {
        const ControlDefinition& definition = control->definition();
        if (!definition.labels.empty()) {
            return std::pair{named(definition.labels)->definition().tab_index, 0};
        }
        if (control->container != nullptr) {
            return std::pair{control->container->definition().tab_index, 0};
        }
        return std::pair{definition.tab_index < 0 ? 1 << 20 : definition.tab_index, 1};
    };
    std::stable_sort(order.begin(), order.end(), [&](const Win32Control* a, const Win32Control* b) {
        return rank(a) < rank(b);
    });

    const Win32Control* previous = nullptr;
    HWND above = HWND_TOP;
    for (Win32Control* control : order) {
        const ControlClass control_class = control->definition().control_class;
        // Option buttons next to each other form one group, so that choosing
        // one clears the others; every other control starts a group.
        const bool joins_group = control_class == ControlClass::OptionButton &&
                                 previous != nullptr &&
                                 previous->definition().control_class == ControlClass::OptionButton;
        control->Create(hwnd_, instance_, joins_group ? 0 : WS_GROUP);
        SetWindowPos(control->hwnd(), above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        above = control->hwnd();
        previous = control;
        if (!control->definition().picture.empty()) {
            try {
                control->picture = std::make_unique<Picture>(control->definition().picture);
            } catch (const runtime::RuntimeError&) {
                // Without its picture the control stays empty.
            }
        }
    }
    UpdateOptionTabStops();
    accessibility_.Describe(definition_,
                            [this](std::size_t index) { return controls_[index]->hwnd(); });
}

void Win32Window::DeleteFonts() {
    for (auto& [definition, font] : fonts_) {
        DeleteObject(font);
    }
    fonts_.clear();
}

void Win32Window::ApplyFonts() {
    DeleteFonts();
    for (auto& control : controls_) {
        const FontDefinition* definition = control->definition().font;
        auto found = fonts_.find(definition);
        if (found == fonts_.end()) {
            HFONT font = nullptr;
            if (definition != nullptr) {
                font = CreateDefinedFont(*definition, dpi_);
            } else {
                const LOGFONTW message = MessageFont(dpi_);
                font = CreateFontIndirectW(&message);
            }
            found = fonts_.emplace(definition, font).first;
        }
        SendMessageW(control->hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(found->second), TRUE);
    }
}

void Win32Window::UpdateOptionTabStops() {
    // Tab lands on the chosen option button, and the arrow keys choose
    // another; a button that took the focus by Tab would choose itself.
    std::vector<Win32Control*> options;
    bool any_chosen = false;
    for (auto& control : controls_) {
        if (control->definition().control_class == ControlClass::OptionButton) {
            options.push_back(control.get());
            any_chosen |= control->Value();
        }
    }
    for (Win32Control* option : options) {
        const bool stop = any_chosen ? option->Value() : option == options.front();
        const LONG_PTR style = GetWindowLongPtrW(option->hwnd(), GWL_STYLE);
        SetWindowLongPtrW(option->hwnd(), GWL_STYLE,
                          stop ? style | WS_TABSTOP : style & ~WS_TABSTOP);
    }
}

Win32Control* Win32Window::ById(int id) const {
    const auto index = static_cast<std::size_t>(id - kFirstControlId);
    return id >= kFirstControlId && index < controls_.size() ? controls_[index].get() : nullptr;
}

template <typename Handler>
void Win32Window::RunHandler(Handler&& handler) {
    if (failure_) {
        return;
    }
    try {
        handler();
    } catch (const runtime::ProgramEnd& end) {
        exit_status_ = end.status;
        DestroyWindow(hwnd_);
    } catch (...) {
        failure_ = std::current_exception();
        DestroyWindow(hwnd_);
    }
}

void Win32Window::KeyDown(Win32Control& control, WPARAM key) {
    if ((control.definition().events & runtime::kKeyDown) == 0) {
        return;
    }
    Integer key_code = static_cast<Integer>(key & 0xFFFF);
    Integer shift = static_cast<Integer>((GetKeyState(VK_SHIFT) < 0 ? runtime::vbShiftMask : 0) |
                                         (GetKeyState(VK_CONTROL) < 0 ? runtime::vbCtrlMask : 0) |
                                         (GetKeyState(VK_MENU) < 0 ? runtime::vbAltMask : 0));
    RunHandler([&] { events_.KeyDown(control.index(), key_code, shift); });
}

void Win32Window::Show() {
    // The frame is centred on the work area of the window's monitor.
    HMONITOR monitor = MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(monitor, &info);
    const RECT& work = info.rcWork;
    const SIZE frame = FrameSize();
    SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - frame.cx) / 2,
                 work.top + (work.bottom - work.top - frame.cy) / 2, frame.cx, frame.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(hwnd_, show_command_);
    UpdateWindow(hwnd_);
    // The focus goes to the first control of the focus order.
    HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    if (first != nullptr) {
        SetFocus(first);
        saved_focus_ = first;
    }
}

int Win32Window::Run() {
    MSG message;
    while (hwnd_ != nullptr) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            break;
        }
        if (!IsDialogMessageW(hwnd_, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    return exit_status_;
}

LRESULT CALLBACK Win32Window::WindowProcedure(HWND hwnd, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window == nullptr) {
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    return window->Message(hwnd, message, wparam, lparam);
}

HBRUSH Win32Window::ControlColour(HDC dc, HWND hwnd) {
    const Win32Control* control = ById(GetDlgCtrlID(hwnd));
    const std::uint32_t colour = control == nullptr ? 0 : control->definition().back_color;
    // A system colour of the desktop scheme: the high bit marks it, the low
    // byte is its index (4: the menu's background).
    if ((colour & 0x80000000u) == 0) {
        return nullptr;
    }
    const int index = static_cast<int>(colour & 0xFF);
    SetBkColor(dc, GetSysColor(index));
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    return GetSysColorBrush(index);
}

void Win32Window::DrawButton(const DRAWITEMSTRUCT& item, const Win32Control& control) {
    const bool pushed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    RECT whole = item.rcItem;
    RECT content = whole;
    HTHEME theme = IsAppThemed() ? OpenThemeData(item.hwndItem, L"BUTTON") : nullptr;
    if (theme != nullptr) {
        const int state = disabled ? PBS_DISABLED : pushed ? PBS_PRESSED : PBS_NORMAL;
        DrawThemeParentBackground(item.hwndItem, item.hDC, &whole);
        DrawThemeBackground(theme, item.hDC, BP_PUSHBUTTON, state, &whole, nullptr);
        GetThemeBackgroundContentRect(theme, item.hDC, BP_PUSHBUTTON, state, &whole, &content);
        CloseThemeData(theme);
    } else {
        DrawFrameControl(item.hDC, &content, DFC_BUTTON,
                         DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
        InflateRect(&content, -2, -2);
        if (pushed) {
            OffsetRect(&content, 1, 1);
        }
    }
    if (control.picture != nullptr) {
        control.picture->Draw(item.hDC, content, scale(), GetSysColor(COLOR_BTNFACE),
                              GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    }
    if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0) {
        InflateRect(&content, -1, -1);
        DrawFocusRect(item.hDC, &content);
    }
}

void Win32Window::DrawItem(const DRAWITEMSTRUCT& item) {
    const Win32Control* control = ById(static_cast<int>(item.CtlID));
    if (control == nullptr) {
        return;
    }
    if (item.CtlType == ODT_BUTTON) {
        DrawButton(item, *control);
        return;
    }
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    if (control->picture != nullptr) {
        control->picture->Draw(item.hDC, item.rcItem, scale(), GetSysColor(COLOR_BTNFACE),
                               GetSysColor(COLOR_BTNTEXT));
    }
}

LRESULT Win32Window::Message(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND: {
            // Enter (IDOK) and Esc (IDCANCEL) press nothing.
            Win32Control* pressed = ById(LOWORD(wparam));
            if (pressed == nullptr) {
                return 0;
            }
            Win32Control& control = *pressed;
            if (HIWORD(wparam) == BN_CLICKED) {
                if (control.definition().control_class == ControlClass::OptionButton) {
                    UpdateOptionTabStops();
                }
                if ((control.definition().events & runtime::kClick) != 0) {
                    RunHandler([&] { events_.Click(control.index()); });
                }
            }
            return 0;
        }
        case WM_DRAWITEM:
            DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
            return TRUE;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC: {
            HBRUSH brush =
                ControlColour(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
            if (brush != nullptr) {
                return reinterpret_cast<LRESULT>(brush);
            }
            break;
        }
        case WM_ACTIVATE:
            // The control that had the focus gets it back with the window, as
            // in a dialog box.
            if (LOWORD(wparam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus != nullptr && IsChild(hwnd_, focus)) {
                    saved_focus_ = focus;
                }
            } else if (saved_focus_ != nullptr && IsWindow(saved_focus_)) {
                SetFocus(saved_focus_);
                return 0;
            }
            break;
        case WM_DPICHANGED: {
            // Moved to a monitor of another scale: the same layout in logical
            // pixels, the fonts and pictures for the new scale.
            dpi_ = HIWORD(wparam);
            const auto* suggested = reinterpret_cast<const RECT*>(lparam);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            ApplyIcons();
            ApplyFonts();
            for (auto& control : controls_) {
                control->Place();
            }
            InvalidateRect(hwnd_, nullptr, TRUE);
            return 0;
        }
        case WM_SYSCOLORCHANGE:
        case WM_THEMECHANGED:
            InvalidateRect(hwnd_, nullptr, TRUE);
            break;
        case WM_DESTROY:
            hwnd_ = nullptr;
            PostQuitMessage(exit_status_);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

BOOL CALLBACK FindVisible(HWND window, LPARAM found) {
    wchar_t name[32];
    if (IsWindowVisible(window) && GetClassNameW(window, name, 32) != 0 &&
        lstrcmpW(name, kWindowClass) == 0) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

Win32WindowSystem::Win32WindowSystem(HINSTANCE instance, int show_command)
    : instance_(instance), show_command_(show_command) {}

std::unique_ptr<runtime::NativeWindow> Win32WindowSystem::Load(const FormDefinition& definition,
                                                               runtime::FormEvents& events) {
    return std::make_unique<Win32Window>(instance_, show_command_, definition, events);
}

HWND VisibleProgramWindow() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindVisible, reinterpret_cast<LPARAM>(&found));
    return found;
}

}  // namespace quorvex::windows
