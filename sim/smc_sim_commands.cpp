// smc-sim's commands as data: each one's name, its line in the overview, its options, its help
// and the function that carries it out. The overview lists them in this order.
#include "sim/smc_sim_cli.h"

namespace sim::cli {
namespace {

constexpr Command kCommands[] = {
    {"profiles", "list the built-in machine profiles", "", "",
     R"(Usage: smc-sim profiles
List the machine profiles built into the programs, by name, with what they model.
)",
     cmdProfiles},
    {"create", "make a device from a profile or a key dump", "--frozen --replace",
     "--profile --dump --writers",
     R"(Usage: smc-sim create [--frozen] [--replace] [--writers root|owner|anyone]
                      (--profile NAME|FILE | --dump FILE) [DEVICE]
Make a simulated SMC device from a built-in profile (by name), a profile file, or a key dump
recorded on a real Mac (key|type|size|attr|hex lines). The device is written whole and then
moved into place.
  --frozen      hold every value still (exact tests); 'smc-sim thaw' lets time run
  --replace     replace a device already at DEVICE (never anything else)
  --writers W   who may write keys through the SMC: root (default, as on a Mac), owner (root and
                the device file's owner), anyone (anyone who can open the file for writing;
                the file is made writable by everyone)
)",
     cmdCreate},
    {"show", "show the machine: temperatures, fans, modes, targets, faults", "--keys", "--watch",
     R"(Usage: smc-sim show [--keys] [--watch SECONDS] [DEVICE]
Show the machine: heat sources and load, every modelled temperature, each fan's actual speed,
target, minimum, maximum and mode, the forced-fan mask and the faults switched on.
  --keys            list every key with type, size, attributes and bytes instead
  --watch SECONDS   show again every SECONDS until interrupted
)",
     cmdShow},
    {"read", "read a key through the SMC (decoded and raw)", "", "",
     R"(Usage: smc-sim read DEVICE KEY
Read KEY through the SMC as this user: key info, then its bytes. Prints the key, type, size,
attributes, the bytes in hexadecimal and the value decoded as the monitor decodes it. Faults
apply. Keys with a trailing space are written in quotes: 'FS! '.
)",
     cmdRead},
    {"write", "write a key through the SMC, or straight into the device", "--direct", "--raw",
     R"(Usage: smc-sim write [--direct] DEVICE KEY VALUE
       smc-sim write [--direct] DEVICE KEY --raw HEX
Write KEY through the SMC as this user: only root (or a holder of the device's write
permission) may, and only keys whose attributes have the writable bit (0x40). VALUE is encoded
for the key's type (flt, ui8..ui32, sp78, fpe2, ...); --raw gives the bytes themselves.
  --direct   store the bytes straight into the device, bypassing the SMC's rules (any key;
             needs write access to the device file: root or its owner)
)",
     cmdWrite},
    {"load", "set the load: a level, a repeating pattern, or this computer's CPU", "--host",
     "--pattern --source",
     R"(Usage: smc-sim load DEVICE LEVEL [--source NAME]
       smc-sim load DEVICE --pattern LEVEL:SECONDS[,LEVEL:SECONDS...]
       smc-sim load DEVICE --host
Set the machine's load, from 0 (idle) to 1 (flat out): one level for every heat source or for
the one named; a pattern of levels held for so many seconds, repeated; or the load of this
computer's own processors, so that the simulated Mac warms up when this computer works.
)",
     cmdLoad},
    {"fault", "switch faults on and off", "--off", "--every",
     R"(Usage: smc-sim fault DEVICE KIND [TARGET] [--every N] [--off]
       smc-sim fault DEVICE list | clear
Switch a fault on (or off with --off) while programs run. TARGET is a key, 'all' (every key) or
'temps' (every modelled temperature).
  missing KEY               the key is gone: key info fails
  unreadable KEY            key info answers, reading fails
  keyinfo all|temps|KEY     key info fails (0xE00002BC)
  read all|temps|KEY        reading fails (0xE00002BC)
  write all|KEY             writing is refused (0xE00002C1)
  value temps|KEY V         reads give V: nan, inf, -inf, negative (-40), absurd (1e6) or a number,
                            encoded for the key's type (fixed-point types clamp)
  slow MICROSECONDS         every exchange takes this much longer
  open                      new connections are refused (0xE00002C1); open ones go on
  --every N                 fail only one in N exchanges of each connection
  clear                     switch every fault off;  list: show them
)",
     cmdFault},
    {"freeze", "hold every value still;  thaw: let time run again", "", "",
     R"(Usage: smc-sim freeze [DEVICE]
Hold every value of the machine still until 'smc-sim thaw'.
)",
     cmdFreeze},
    {"thaw", nullptr, "", "",
     R"(Usage: smc-sim thaw [DEVICE]
Let time run again on a frozen machine, from now.
)",
     cmdThaw},
    {"step", "move a device on by some seconds of simulated time", "", "",
     R"(Usage: smc-sim step DEVICE SECONDS
Move the machine on by SECONDS of simulated time, frozen or not.
)",
     cmdStep},
    {"sleep", "let the machine sleep and wake: the firmware takes the fans back", "", "",
     R"(Usage: smc-sim sleep DEVICE
The machine sleeps and wakes, as a Mac does when its lid closes and opens: the firmware takes
every fan back. Each fan's mode key (F<i>Md) and the forced-fan mask (FS! ) go to 0, and each
fan's target (F<i>Tg) to its minimum speed (F<i>Mn). A program that forced the fans sees them
on automatic from here on, until it forces them again.
)",
     cmdSleep},
    {"run", "keep a device's machine moving (for devices only read by others)", "", "--interval",
     R"(Usage: smc-sim run [--interval MILLISECONDS] [DEVICE]
Keep the machine moving in real time until interrupted (signal 2 or 15). Programs that may
write the device move it themselves as they use it; this is for devices only read by others.
)",
     cmdRun},
    {"destroy", "remove a device", "", "",
     R"(Usage: smc-sim destroy [DEVICE]
Remove a device. Anything that is not a valid simulated device is left alone.
)",
     cmdDestroy},
    {"path", "print the device our programs use", "", "",
     R"(Usage: smc-sim path
Print the device our programs use: $QUILLOMATICS_SMC_DEVICE, or the default location.
)",
     cmdPath},
};

}  // namespace

std::span<const Command> commands() {
  return kCommands;
}

}  // namespace sim::cli
