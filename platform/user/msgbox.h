// msgbox.h - test seam of the message box.
//
// Unit tests of code that shows message boxes set a hook: MessageBoxW then
// shows nothing and returns what the hook returns, so a test can see each
// message (its text, caption and style) and answer it.
#ifndef CE_PLATFORM_MSGBOX_H
#define CE_PLATFORM_MSGBOX_H

#include <functional>
#include <string>

#include "windef.h"

namespace plat {

using MessageBoxHook =
    std::function<int(HWND owner, const std::u16string &text, const std::u16string &caption, UINT type)>;

// Sets (or, with an empty function, removes) the hook.
void SetMessageBoxHook(MessageBoxHook hook);

} // namespace plat

#endif
