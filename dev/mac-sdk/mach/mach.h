// The Mach declarations the SMC service uses, as Apple documents them. Declarations only, for the
// macOS shell's compile check; a Mac build uses the SDK's header.
#pragma once

typedef unsigned int natural_t;
typedef int kern_return_t;
typedef natural_t mach_port_t;
typedef mach_port_t task_t;
typedef mach_port_t task_port_t;

#define KERN_SUCCESS 0
#define MACH_PORT_NULL ((mach_port_t)0)

#ifdef __cplusplus
extern "C" {
#endif
extern mach_port_t mach_task_self_;
#ifdef __cplusplus
}
#endif
#define mach_task_self() mach_task_self_
