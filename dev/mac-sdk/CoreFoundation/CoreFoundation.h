// The CoreFoundation dictionary types IOKit's matching functions take, as Apple documents them.
// Declarations only, for the macOS shell's compile check.
#pragma once

typedef const struct __CFDictionary* CFDictionaryRef;
typedef struct __CFDictionary* CFMutableDictionaryRef;
typedef const void* CFTypeRef;

#ifdef __cplusplus
extern "C" {
#endif
void CFRelease(CFTypeRef cf);
#ifdef __cplusplus
}
#endif
