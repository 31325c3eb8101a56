// Opening a file only when the name itself is a regular file, for processes that may run as
// root on a path someone else chose: nothing else the name might point to is ever opened.
#pragma once

#include <string>

namespace sim {

// open(path, flags) for a regular file. -1 with errno ELOOP when the last component is a
// symbolic link, ENODEV when it is any other kind of file (device node, FIFO, socket,
// directory), or the error of the lookup or the open. On Linux the name is looked up once
// without opening what it names, and only the regular file found is opened, so a name swapped
// for a device node between the check and the open (a directory on the way replaced by a link
// to /dev) is never opened: opening some device nodes acts on hardware.
int openRegularFile(const std::string& path, int flags);

// The regular file `fd` is open on, opened once more with `flags`: a descriptor opened
// read-only and checked becomes one for writing without the name being looked up again. On
// Linux the very inode is opened through /proc/self/fd; on macOS `path` is opened again and
// refused (-1, errno ESTALE) unless it is still the same file.
int reopenRegularFile(int fd, const std::string& path, int flags);

}  // namespace sim
