// The five menu actions as Objective-C messages: the delegate bridge implements them, and the menu
// items send them to it. Declaring them once lets the compiler check every @selector against them.
#pragma once

#import <Foundation/Foundation.h>

@protocol QuillMenuActions <NSObject>
- (void)setFansMax;
- (void)setFansProactive;
- (void)setFansAuto;
- (void)toggleUnit;
- (void)quitApp;
@end
