// resources.h - the program's resources (the compiled resource script).
//
// The build embeds the standard binary resource file (.res) in the programs
// as g_ceResourceData / g_ceResourceSize; the loader and the test fixture
// register it here. FindResourceW, LoadStringW and LoadImageW then read it
// for the program instance (GetModuleHandleW(NULL), plat::kProgramInstance).
#ifndef CE_PLATFORM_RESOURCES_H
#define CE_PLATFORM_RESOURCES_H

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" const unsigned char g_ceResourceData[];
extern "C" const size_t g_ceResourceSize;

namespace plat {

// Registers the resources of the program (the data must stay alive). False
// when the data is not a well-formed resource file; nothing is registered.
bool ResourcesSet(const void *data, size_t size);

// The end of the resource data holding the pointer (templates are parsed
// within it), or null when the pointer is not in a resource.
const uint8_t *ResourceEndOf(const void *p);

// The id of the dialog resource whose data holds the pointer, or -1.
int ResourceDialogIdOf(const void *templ);

// The string-table id and text of the last LoadStringW of this thread
// (0 when none); the message box uses it to name its message.
uint32_t ResourceLastStringId();
const std::u16string &ResourceLastString();

} // namespace plat

#endif
