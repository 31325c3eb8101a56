// Stand-in for the runtime's reflection types that GNUstep's headers name. Declarations only;
// used only by the macOS shell's compile check.
#pragma once

#include <objc/objc.h>

typedef struct objc_method* Method;
typedef struct objc_ivar* Ivar;
typedef struct objc_property* objc_property_t;

struct objc_method_description {
  SEL name;
  const char* types;
};
