// IOKit's result type and the codes the SMC service names, as Apple documents them: IOReturn is
// kern_return_t and the codes are macros, as in the SDK, so that a header including them in the
// wrong order fails here as it would on a Mac. Declarations only, for the compile check.
#pragma once

#include <mach/mach.h>

typedef kern_return_t IOReturn;

#define kIOReturnSuccess KERN_SUCCESS
