// class.h - window class lookup for the user area.
#ifndef CE_PLATFORM_CLASS_H
#define CE_PLATFORM_CLASS_H

#include <memory>
#include <string>

#include "user/window.h"

namespace plat {

// The class name of dialogs created from templates.
constexpr const char16_t *kDialogClassName = u"Dialog";

std::shared_ptr<WndClass> ClassFind(const std::u16string &name);
std::u16string ClassNameOfOrdinal(WORD ordinal);

} // namespace plat

#endif
