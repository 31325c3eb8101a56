// Fakes of the platform services: the parts that need more than a line.
#include "app/testing/fake_platform.h"

#include <cstring>

#include "smc/smc_record.h"

namespace app {

std::unique_ptr<StatusItem> FakeStatusBar::statusItemWithLength(double length) {
  auto item = std::make_unique<FakeStatusItem>();
  item->button = itemsHaveButton;
  last = item.get();
  lastLength = length;
  ++created;
  return item;
}

namespace {

class FakeTimer final : public RepeatingTimer {
 public:
  FakeTimer(std::shared_ptr<FakeTimers::State> state, EventLog& log)
      : state_(std::move(state)), log_(log) {}
  ~FakeTimer() override { state_->valid = false; }
  void invalidate() override {
    state_->valid = false;
    log_.push_back("timer invalidated");
  }
  bool isValid() const override { return state_->valid; }

 private:
  std::shared_ptr<FakeTimers::State> state_;
  EventLog& log_;
};

}  // namespace

std::unique_ptr<RepeatingTimer> FakeTimers::scheduledTimer(double interval,
                                                           std::function<void()> action) {
  auto state = std::make_shared<State>(State{interval, std::move(action), true});
  timers.push_back(state);
  log_.push_back("timer scheduled");
  return std::make_unique<FakeTimer>(std::move(state), log_);
}

void FakeTimers::fireAll() {
  for (const auto& timer : timers) {
    if (timer->valid) {
      timer->action();
    }
  }
}

smc::IOHandle LoggingIOService::getMatchingService(std::string_view name) {
  return inner_.getMatchingService(name);
}

smc::IOReturn LoggingIOService::serviceOpen(smc::IOHandle service, std::uint32_t type,
                                            smc::IOHandle& connection) {
  const smc::IOReturn result = inner_.serviceOpen(service, type, connection);
  log_.push_back(result == smc::kIOReturnSuccess ? "smc open" : "smc open failed");
  return result;
}

smc::IOReturn LoggingIOService::callStructMethod(smc::IOHandle connection, std::uint32_t selector,
                                                 const void* input, std::size_t inputSize,
                                                 void* output, std::size_t* outputSize) {
  const smc::IOReturn result =
      inner_.callStructMethod(connection, selector, input, inputSize, output, outputSize);
  smc::SMCKeyData_t request{};
  std::memcpy(&request, input, std::min(inputSize, sizeof request));
  if (request.data8 == smc::SMC_CMD_WRITE_BYTES && result == smc::kIOReturnSuccess) {
    std::string key(4, ' ');
    for (int i = 0; i < 4; ++i) {
      key[static_cast<std::size_t>(i)] = static_cast<char>(request.key >> (24 - 8 * i));
    }
    log_.push_back("smc write " + key);
  }
  return result;
}

smc::IOReturn LoggingIOService::serviceClose(smc::IOHandle connection) {
  log_.push_back("smc close");
  return inner_.serviceClose(connection);
}

namespace {

// Ends when the fake's set of running tools no longer holds the process.
class FakeWatch final : public ProcessWatch {
 public:
  FakeWatch(const std::set<int>& running, int pid) : running_(running), pid_(pid) {}
  bool ended() override { return !running_.contains(pid_); }

 private:
  const std::set<int>& running_;
  int pid_;
};

}  // namespace

std::unique_ptr<ProcessWatch> FakeProcessControl::watchProcess(int pid) {
  if (!runningTools.contains(pid)) {
    return nullptr;
  }
  return std::make_unique<FakeWatch>(runningTools, pid);
}

}  // namespace app
