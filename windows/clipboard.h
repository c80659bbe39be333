// Windows' clipboard, given text that is kept out of the clipboard history
// and the cloud clipboard, as password managers give theirs.
#pragma once

#include <windows.h>

#include <string>

namespace quorvex::windows {

// Empties the clipboard. Raises Device unavailable when the clipboard stays
// held by another program.
void ClearClipboard(HWND owner);

// Empties the clipboard and puts the text on it as CF_UNICODETEXT, marked
// with the registered formats that keep clipboard history, the cloud
// clipboard and clipboard monitors from taking it. Raises Device unavailable
// when the clipboard stays held by another program or takes no data.
void PutSecretText(HWND owner, const std::u16string& text);

}  // namespace quorvex::windows
