// The process-information call the tool's identity check uses, as Apple documents it.
// Declarations only, for the macOS compile check; a Mac build uses the SDK's header.
#pragma once

#include <stdint.h>

#define PROC_PIDPATHINFO_MAXSIZE (4 * 1024)

extern "C" int proc_pidpath(int pid, void* buffer, uint32_t buffersize);
