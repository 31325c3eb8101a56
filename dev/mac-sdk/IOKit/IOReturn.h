// IOKit's result type and the codes the SMC seam names, as Apple documents them: IOReturn is
// kern_return_t and the codes are macros, as in the SDK, so that a file including them before the
// seam's own constants fails here as it would on a Mac. Declarations only, for the compile check.
#pragma once

#include <mach/mach.h>

typedef kern_return_t IOReturn;

#define sys_iokit (((0x38) & 0x3f) << 26)
#define sub_iokit_common (((0) & 0xfff) << 14)
#define iokit_common_err(return ) (sys_iokit | sub_iokit_common | return )

#define kIOReturnSuccess KERN_SUCCESS
#define kIOReturnError iokit_common_err(0x2bc)
#define kIOReturnNotPrivileged iokit_common_err(0x2c1)
#define kIOReturnBadArgument iokit_common_err(0x2c2)
#define kIOReturnNotReadable iokit_common_err(0x2da)
#define kIOReturnNotFound iokit_common_err(0x2f0)
