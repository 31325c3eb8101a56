// Opening and closing the SMC connection over the IOService seam.
#include "smc/smc_connection.h"

namespace smc {

SMCConnection::OpenResult SMCConnection::open(IOService& io) {
  close();
  const IOHandle service = io.getMatchingService("AppleSMC");
  if (service == 0) {
    return OpenResult::noService;
  }
  handle_ = 0;
  const IOReturn result = io.serviceOpen(service, 0, handle_);
  io.objectRelease(service);
  if (result != kIOReturnSuccess) {
    return OpenResult::cannotOpen;
  }
  io_ = &io;
  return OpenResult::opened;
}

void SMCConnection::close() {
  if (IOService* io = std::exchange(io_, nullptr)) {
    io->serviceClose(handle_);
  }
}

}  // namespace smc
