// One connection to the SMC's user client, closed exactly once: by close(), or when its owner goes.
// The application's SMCClient and the fan tool each hold theirs in one, so that no early return
// leaves the connection open.
#pragma once

#include <utility>

#include "smc/io_service.h"

namespace smc {

class SMCConnection {
 public:
  enum class OpenResult { opened, noService, cannotOpen };

  SMCConnection() = default;
  // Takes over a connection that is already open on `io`.
  SMCConnection(IOService& io, IOHandle handle) : io_(&io), handle_(handle) {}
  SMCConnection(SMCConnection&& other) noexcept
      : io_(std::exchange(other.io_, nullptr)), handle_(other.handle_) {}
  SMCConnection& operator=(SMCConnection&& other) noexcept {
    if (this != &other) {
      close();
      io_ = std::exchange(other.io_, nullptr);
      handle_ = other.handle_;
    }
    return *this;
  }
  SMCConnection(const SMCConnection&) = delete;
  SMCConnection& operator=(const SMCConnection&) = delete;
  ~SMCConnection() { close(); }

  // Matches the "AppleSMC" service, opens a connection of type 0 on it and releases the service
  // whatever the open returned. A connection this owner already holds is closed first.
  OpenResult open(IOService& io);
  // IOServiceClose of the connection, once; nothing when none is open. The handle keeps its value.
  void close();

  bool isOpen() const { return io_ != nullptr; }
  // The handle every call goes through: 0 until a connection is opened.
  IOHandle handle() const { return handle_; }

 private:
  IOService* io_ = nullptr;  // set while a connection is open
  IOHandle handle_ = 0;
};

}  // namespace smc
