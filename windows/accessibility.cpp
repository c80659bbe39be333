#include "windows/accessibility.h"

#include "windows/wide.h"

// The annotation's identifiers are defined here, where they are used.
#include <initguid.h>
#include <oleacc.h>

#include <string>

namespace quorvex::windows {

namespace {

const MSAAPROPID kAnnotated[] = {PROPID_ACC_NAME, PROPID_ACC_DESCRIPTION, PROPID_ACC_ROLE};

}  // namespace

Accessibility::~Accessibility() {
    Clear();
    if (services_ != nullptr) {
        services_->Release();
    }
}

void Accessibility::Describe(const runtime::FormDefinition& definition,
                             const std::function<HWND(std::size_t)>& control) {
    if (services_ == nullptr &&
        FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, reinterpret_cast<void**>(&services_)))) {
        services_ = nullptr;
        return;
    }
    for (std::size_t i = 0; i < definition.controls.size(); ++i) {
        const runtime::ControlDefinition& described = definition.controls[i];
        if (described.accessible_name.empty() && described.accessible_description.empty()) {
            continue;
        }
        HWND window = control(i);
        if (!described.accessible_name.empty()) {
            const std::u16string name(described.accessible_name);
            services_->SetHwndPropStr(window, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_NAME,
                                      Wide(name));
        }
        if (!described.accessible_description.empty()) {
            const std::u16string description(described.accessible_description);
            services_->SetHwndPropStr(window, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_DESCRIPTION,
                                      Wide(description));
        }
        if (described.control_class == runtime::ControlClass::Image) {
            VARIANT role;
            VariantInit(&role);
            role.vt = VT_I4;
            role.lVal = ROLE_SYSTEM_GRAPHIC;
            services_->SetHwndProp(window, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_ROLE, role);
        }
        annotated_.push_back(window);
    }
}

void Accessibility::Clear() {
    if (services_ == nullptr) {
        return;
    }
    for (HWND window : annotated_) {
        services_->ClearHwndProps(window, OBJID_CLIENT, CHILDID_SELF, kAnnotated,
                                  static_cast<int>(std::size(kAnnotated)));
    }
    annotated_.clear();
}

}  // namespace quorvex::windows
