// A companion library that loads but lacks every function the plug-in looks up.
#include "platform/platform.h"

extern "C" VELAPNG_EXPORT int hollow_library_marker() { return 1; }
