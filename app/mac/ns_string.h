// Conversions between the core's UTF-8 strings and NSString.
#pragma once

#import <Foundation/Foundation.h>

#include <string>
#include <string_view>

// The text as an NSString; the empty string when the bytes are not valid UTF-8.
inline NSString *nsString(std::string_view text) {
  NSString *result = [[NSString alloc] initWithBytes:text.data()
                                              length:text.size()
                                            encoding:NSUTF8StringEncoding];
  return result != nil ? result : @"";
}

// The string's UTF-8 bytes; empty for nil.
inline std::string stdString(NSString *text) {
  const char *utf8 = text != nil ? [text UTF8String] : nullptr;
  return utf8 != nullptr ? std::string(utf8) : std::string();
}
