// Stand-in for the blocks runtime header GNUstep includes when blocks are on. Declarations only;
// used only by the macOS shell's compile check.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif
void* _Block_copy(const void* block);
void _Block_release(const void* block);
#ifdef __cplusplus
}
#endif
