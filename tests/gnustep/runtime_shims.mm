// The GNU runtime's entry points that Debian's GNUstep libraries call and libobjc2 1.9 does not
// have, each mapped onto libobjc2's own call, and the two class-name symbols those libraries
// refer to.
#include <objc/hooks.h>
#include <objc/runtime.h>

#include <cstring>

extern "C" {

SEL sel_registerTypedName(const char* name, const char* types) {
  return sel_registerTypedName_np(name, types);
}

const char* sel_getTypeEncoding(SEL selector) {
  return selector != nullptr ? sel_getType_np(selector) : nullptr;
}

// The one typed selector of that name; none when there is none or when its types differ.
SEL sel_getTypedSelector(const char* name) {
  constexpr unsigned kMost = 16;
  SEL found[kMost];
  const unsigned count = sel_copyTypedSelectors_np(name, found, kMost);
  SEL typed = nullptr;
  for (unsigned i = 0; i < count && i < kMost; ++i) {
    const char* types = sel_getType_np(found[i]);
    if (types == nullptr) {
      continue;
    }
    if (typed != nullptr && std::strcmp(sel_getType_np(typed), types) != 0) {
      return nullptr;
    }
    typed = found[i];
  }
  return typed;
}

using UncaughtExceptionHandler = void (*)(id);

UncaughtExceptionHandler objc_setUncaughtExceptionHandler(UncaughtExceptionHandler handler) {
  const UncaughtExceptionHandler previous = _objc_unexpected_exception;
  _objc_unexpected_exception = handler;
  return previous;
}

extern const char __objc_class_name_Object;
extern const char __objc_class_name_Protocol;
const char __objc_class_name_Object = 0;
const char __objc_class_name_Protocol = 0;

}  // extern "C"
