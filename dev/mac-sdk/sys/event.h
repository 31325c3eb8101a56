// The kqueue calls the guard's watch on the monitor uses, as Apple documents them.
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
#define EV_ONESHOT 0x0010
#define EV_ADD 0x0001
#define NOTE_EXIT 0x80000000U

#define EV_SET(kevp, a, b, c, d, e, f) \
  do {                                 \
    struct kevent* kevp_ = (kevp);     \
    kevp_->ident = (a);                \
    kevp_->filter = (b);               \
    kevp_->flags = (c);                \
    kevp_->fflags = (d);               \
    kevp_->data = (e);                 \
    kevp_->udata = (f);                \
  } while (0)

extern "C" int kqueue(void);
extern "C" int kevent(int kq, const struct kevent* changelist, int nchanges,
                      struct kevent* eventlist, int nevents, const struct timespec* timeout);
