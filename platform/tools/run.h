// run.h - the `cedevice run` command (run.cpp).
#ifndef CE_TOOLS_RUN_H
#define CE_TOOLS_RUN_H

#include <string>
#include <vector>

namespace cetool {

// Starts ARGS' program as a process of the device; returns only on failure
// (1 usage, through usage; 2 unusable device or card; 126/127 the program
// cannot be started / was not found).
int Run(const std::vector<std::string> &args, int (*usage)(const std::string &));

} // namespace cetool

#endif
