// Whole reads and writes on a descriptor: short transfers are continued and EINTR is retried.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace base {

// Reads until end of file, or until more than `limit` bytes have come (the caller then refuses
// what it read). False on a read error.
bool readAll(int fd, std::string& out, std::size_t limit);

// Writes all of `data`. False when a write fails or writes nothing.
bool writeAll(int fd, std::string_view data);

// Writes all of `data` at `offset` (pwrite: the file offset does not move).
bool writeAllAt(int fd, const void* data, std::size_t size, off_t offset);

}  // namespace base
