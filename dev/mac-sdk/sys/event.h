// The kernel event queue as Apple documents it (kqueue(2)), the parts the process watches use.
// Declarations only, for the macOS compile check; a Mac build uses the SDK's header.
#pragma once

#include <stdint.h>
#include <time.h>

struct kevent {
  uintptr_t ident;
  int16_t filter;
  uint16_t flags;
  uint32_t fflags;
  intptr_t data;
  void* udata;
};

#define EVFILT_READ (-1)
#define EVFILT_PROC (-5)
#define EV_ADD 0x0001
#define EV_DELETE 0x0002
#define EV_ENABLE 0x0004
#define EV_ONESHOT 0x0010
#define EV_CLEAR 0x0020
#define EV_ERROR 0x4000
#define NOTE_EXIT 0x80000000U

#define EV_SET(kevp, a, b, c, d, e, f) \
  do {                                 \
    struct kevent* __kevp__ = (kevp);  \
    __kevp__->ident = (a);             \
    __kevp__->filter = (b);            \
    __kevp__->flags = (c);             \
    __kevp__->fflags = (d);            \
    __kevp__->data = (e);              \
    __kevp__->udata = (f);             \
  } while (0)

extern "C" int kqueue(void);
extern "C" int kevent(int kq, const struct kevent* changelist, int nchanges,
                      struct kevent* eventlist, int nevents, const struct timespec* timeout);
