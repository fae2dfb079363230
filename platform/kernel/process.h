// process.h - what the kernel tells the layers above it about processes.
#ifndef CE_PLATFORM_KERNEL_PROCESS_H
#define CE_PLATFORM_KERNEL_PROCESS_H

#include <string>

namespace plat {

// Called for every CreateProcessW that got as far as a program name: the
// program (as resolved, or as given when nothing was found), the command
// line, and whether it started. The device layer sends it to the
// transcript; with no hook nothing is reported.
using LaunchHook = void (*)(const std::u16string &program, const std::u16string &cmdline, bool started);
void ProcessSetLaunchHook(LaunchHook hook);

} // namespace plat

#endif
