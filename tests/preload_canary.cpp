// A library that, when the dynamic loader takes it from LD_PRELOAD, creates the file named by
// QUILL_CANARY before main runs: proof that the environment put code into the process.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

__attribute__((constructor)) static void plantCanary() {
  if (const char* path = std::getenv("QUILL_CANARY")) {
    close(open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  }
}
