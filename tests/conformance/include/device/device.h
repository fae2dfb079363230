// device.h (Win32 build) - the device calls of the tests: see kernel/device.h.
#include "kernel/device.h"
