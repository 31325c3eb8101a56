// The floor a 3-second refresh is compared with: a program that wakes every 3 seconds (or the
// interval given in seconds as its argument) and does nothing else. bench/refresh_cost.sh
// measures its CPU beside the monitor's in the same run.
#include <time.h>

#include <cerrno>
#include <cstdlib>

int main(int argc, char** argv) {
  const double interval = argc > 1 ? std::atof(argv[1]) : 3.0;
  const auto step = static_cast<long long>((interval > 0 ? interval : 3.0) * 1e9);
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  for (;;) {
    const long long ns = next.tv_nsec + step;
    next.tv_sec += static_cast<time_t>(ns / 1'000'000'000);
    next.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
    }
  }
}
