#include "windows/clipboard.h"

#include "runtime/runtime.h"

#include <cstring>

namespace quorvex::windows {

namespace {

// Another program may hold the clipboard for a moment (a clipboard viewer
// reading it): it is asked again for about half a second.
constexpr int kOpenAttempts = 50;
constexpr DWORD kOpenPause = 10;  // milliseconds

// The clipboard opened and emptied, owned by `owner`, until the scope ends.
class OpenClipboardScope {
  public:
    explicit OpenClipboardScope(HWND owner) {
        for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
            if (OpenClipboard(owner)) {
                if (!EmptyClipboard()) {
                    CloseClipboard();
                    break;
                }
                return;
            }
            Sleep(kOpenPause);
        }
        runtime::Raise(runtime::ErrorNumber::DeviceUnavailable);
    }
    ~OpenClipboardScope() { CloseClipboard(); }
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
};

// Puts `size` bytes on the open clipboard in a format; the clipboard owns
// the memory once it has taken it.
bool Put(UINT format, const void* data, std::size_t size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (memory == nullptr) {
        return false;
    }
    void* target = GlobalLock(memory);
    if (target == nullptr) {
        GlobalFree(memory);
        return false;
    }
    std::memcpy(target, data, size);
    GlobalUnlock(memory);
    if (SetClipboardData(format, memory) == nullptr) {
        GlobalFree(memory);
        return false;
    }
    return true;
}

bool PutMark(const wchar_t* format_name, DWORD value) {
    const UINT format = RegisterClipboardFormatW(format_name);
    return format != 0 && Put(format, &value, sizeof value);
}

}  // namespace

void ClearClipboard(HWND owner) {
    const OpenClipboardScope scope(owner);
}

void PutSecretText(HWND owner, const std::u16string& text) {
    const OpenClipboardScope scope(owner);
    // The marks go first, so that no monitor ever sees the text unmarked.
    const bool marked = PutMark(L"ExcludeClipboardContentFromMonitorProcessing", 0) &&
                        PutMark(L"CanIncludeInClipboardHistory", 0) &&
                        PutMark(L"CanUploadToCloudClipboard", 0);
    if (!marked || !Put(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(char16_t))) {
        // Nothing is left half-done: no text without its marks.
        EmptyClipboard();
        runtime::Raise(runtime::ErrorNumber::DeviceUnavailable);
    }
}

}  // namespace quorvex::windows
