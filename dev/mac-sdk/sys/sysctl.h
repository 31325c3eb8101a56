// The sysctl(3) call and the names the process watch reads, as Apple documents them.
// Declarations only, for the macOS compile check; a Mac build uses the SDK's header.
#pragma once

#include <stddef.h>

#define CTL_KERN 1
#define KERN_ARGMAX 8
#define KERN_PROCARGS2 49

extern "C" int sysctl(int* name, unsigned int namelen, void* oldp, size_t* oldlenp, void* newp,
                      size_t newlen);
