// Stand-in for the Objective-C runtime's basic types, enough for clang to parse GNUstep's
// Foundation and AppKit headers with -fobjc-runtime=gnustep-2.0. Debian's GNUstep is built with
// GCC's runtime, whose headers clang cannot use. Used only by the macOS shell's compile check.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define __GNU_LIBOBJC__ 20110608
#define __GNUSTEP_RUNTIME__ 1

typedef struct objc_class* Class;
typedef struct objc_object {
  Class isa;
} * id;
typedef const struct objc_selector* SEL;
typedef id (*IMP)(id, SEL, ...);
typedef signed char BOOL;

#define YES ((BOOL)1)
#define NO ((BOOL)0)
#define Nil ((Class)0)
#ifndef nil
#ifdef __cplusplus
#define nil nullptr
#else
#define nil ((id)0)
#endif
#endif
