// The process-information calls the tool's identity check uses, as Apple documents them.
// Declarations only, for the macOS compile check; a Mac build uses the SDK's header.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#define PROC_PIDPATHINFO_MAXSIZE (4 * 1024)
#define PROC_PIDTBSDINFO 3

struct proc_bsdinfo {
  uint32_t pbi_flags;
  uint32_t pbi_status;
  uint32_t pbi_xstatus;
  uint32_t pbi_pid;
  uint32_t pbi_ppid;
  uid_t pbi_uid;
  gid_t pbi_gid;
  uid_t pbi_ruid;
  gid_t pbi_rgid;
  uid_t pbi_svuid;
  gid_t pbi_svgid;
  uint32_t rfu_1;
  char pbi_comm[16];
  char pbi_name[32];
  uint32_t pbi_nfiles;
  uint32_t pbi_pgid;
  uint32_t pbi_pjobc;
  uint32_t e_tdev;
  uint32_t e_tpgid;
  int32_t pbi_nice;
  uint64_t pbi_start_tvsec;
  uint64_t pbi_start_tvusec;
};

extern "C" int proc_pidpath(int pid, void* buffer, uint32_t buffersize);
extern "C" int proc_pidinfo(int pid, int flavor, uint64_t arg, void* buffer, int buffersize);
