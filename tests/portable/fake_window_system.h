// A window system with no display: each control keeps its properties in
// memory, the window raises its events when a test acts as the user, and
// option buttons that share a container exclude each other. Standard C++
// only, so that the handlers' tests run wherever the program is built.
#pragma once

#include "runtime/window_system.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace quorvex::testing {

using runtime::ControlClass;
using runtime::ControlDefinition;
using runtime::String;

class FakeWindow;

class FakeControl final : public runtime::NativeControl {
  public:
    FakeControl(FakeWindow& window, const ControlDefinition& definition)
        : window_(window), definition_(definition), text_(definition.caption) {}

    const ControlDefinition& definition() const { return definition_; }
    bool Is(ControlClass control_class) const { return definition_.control_class == control_class; }

    String Text() const override { return text_; }
    void SetText(const String& text) override {
        text_ = text;
        selection_ = {0, 0};
    }
    bool Value() const override {
        return Is(ControlClass::OptionButton) ? value_ : Unsupported<bool>();
    }
    void SetValue(bool value) override;
    void SetMaxLength(int length) override {
        Is(ControlClass::TextBox) ? void(max_length_ = length) : Unsupported<void>();
    }
    void SetLocked(bool locked) override {
        Is(ControlClass::TextBox) ? void(locked_ = locked) : Unsupported<void>();
    }
    String SelText() const override {
        return Is(ControlClass::TextBox) ? text_.substr(selection_.first, selection_.second)
                                         : Unsupported<String>();
    }
    void SetVisible(bool visible) override { visible_ = visible; }
    void Move(double left, double top, double width, double height) override {
        pixels_ = {left, top, width, height};
    }

    // The user types into the box: nothing where it is locked, and no more
    // than its length limit allows.
    void Type(const String& typed) {
        if (locked_) {
            return;
        }
        const std::size_t room = max_length_ > 0 ? static_cast<std::size_t>(max_length_) : 65535;
        text_ += typed.substr(0, room > text_.size() ? room - text_.size() : 0);
    }
    void Select(std::size_t start, std::size_t length) { selection_ = {start, length}; }

    bool visible() const { return visible_; }
    bool locked() const { return locked_; }
    int max_length() const { return max_length_; }
    // Where the window system was last asked to put it, in pixels.
    const std::vector<double>& pixels() const { return pixels_; }

  private:
    // What the control's class does not have, as a window system refuses it.
    template <typename Result>
    [[noreturn]] static Result Unsupported() {
        runtime::Raise(runtime::ErrorNumber::NotSupported);
    }

    FakeWindow& window_;
    const ControlDefinition& definition_;
    String text_;
    bool value_ = false;
    int max_length_ = 0;
    bool locked_ = false;
    bool visible_ = true;
    std::pair<std::size_t, std::size_t> selection_{0, 0};
    std::vector<double> pixels_;
};

class FakeWindow final : public runtime::NativeWindow {
  public:
    // shows counts the window's Show calls, beyond the window's life.
    FakeWindow(const runtime::FormDefinition& definition, runtime::FormEvents& events,
               double scale_width, int& shows)
        : events_(events), scale_width_(scale_width), shows_(shows) {
        for (const ControlDefinition& control : definition.controls) {
            controls_.push_back(std::make_unique<FakeControl>(*this, control));
        }
    }

    runtime::NativeControl& Control(std::size_t index) override { return *controls_.at(index); }
    runtime::Single ScaleWidth() const override {
        return static_cast<runtime::Single>(scale_width_);
    }
    void Show() override { ++shows_; }
    int Run() override { return 0; }

    FakeControl& Named(std::string_view name) { return *controls_.at(IndexOf(name)); }
    const std::vector<std::unique_ptr<FakeControl>>& controls() const { return controls_; }

    // The user clicks a control, or presses a key in it: its events run
    // where the definition connects them.
    void Click(std::string_view name) {
        const std::size_t index = IndexOf(name);
        if (Named(name).Is(ControlClass::OptionButton)) {
            Named(name).SetValue(true);
        }
        if ((controls_[index]->definition().events & runtime::kClick) != 0) {
            events_.Click(index);
        }
    }
    void KeyDown(std::string_view name, runtime::Integer key_code, runtime::Integer shift) {
        const std::size_t index = IndexOf(name);
        if ((controls_[index]->definition().events & runtime::kKeyDown) != 0) {
            events_.KeyDown(index, key_code, shift);
        }
    }

  private:
    std::size_t IndexOf(std::string_view name) const {
        const auto found = std::ranges::find_if(
            controls_, [name](const auto& control) { return control->definition().name == name; });
        return static_cast<std::size_t>(found - controls_.begin());
    }

    runtime::FormEvents& events_;
    double scale_width_;
    int& shows_;
    std::vector<std::unique_ptr<FakeControl>> controls_;
};

inline void FakeControl::SetValue(bool value) {
    if (!Is(ControlClass::OptionButton)) {
        Unsupported<void>();
    }
    if (value) {
        // The other option buttons of the same container are cleared.
        for (const auto& other : window_.controls()) {
            if (other->Is(ControlClass::OptionButton) &&
                other->definition().container == definition_.container) {
                other->value_ = false;
            }
        }
    }
    value_ = value;
}

// Builds the window with the definition's inner width, or another one.
class FakeWindowSystem final : public runtime::WindowSystem {
  public:
    explicit FakeWindowSystem(std::optional<double> scale_width = std::nullopt)
        : scale_width_(scale_width) {}

    std::unique_ptr<runtime::NativeWindow> Load(const runtime::FormDefinition& definition,
                                                runtime::FormEvents& events) override {
        auto made = std::make_unique<FakeWindow>(
            definition, events,
            scale_width_.value_or(definition.client_width / runtime::kTwipsPerPixel), shows);
        window = made.get();
        return made;
    }

    // The window last made, while it lives, and how often windows were shown.
    FakeWindow* window = nullptr;
    int shows = 0;

  private:
    std::optional<double> scale_width_;
};

}  // namespace quorvex::testing
