// The sensor catalogue (three constant tables of SMC key and display name) and the value records
// that gathering produces.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace app {

struct Sensor {
  std::string_view key;   // four characters; case matters
  std::string_view name;  // shown in the menu
};

struct TempReading {
  std::string name;
  double celsius = 0.0;

  double fahrenheit() const { return celsius * 9.0 / 5.0 + 32.0; }
  bool operator==(const TempReading&) const = default;
};

struct FanInfo {
  long long index = 0;  // zero-based SMC fan number; the menu shows index + 1
  double actual = 0.0;  // rpm; -1.0 when the SMC reported an implausible value
  double min = 0.0;     // rpm; 0.0 when unreadable or implausible
  double max = 0.0;     // rpm; 6500.0 when unreadable or implausible
  bool operator==(const FanInfo&) const = default;
};

// The order of each table is the order of the menu rows, and the tie-break between two keys that
// carry the same name.
inline constexpr std::array<Sensor, 20> cpuSensors{{
    {"TC0P", "CPU Proximity"}, {"TC0p", "CPU Proximity"}, {"TC0D", "CPU Die"},
    {"TC0d", "CPU Die"},       {"TC0E", "CPU E-Cluster"}, {"TC0e", "CPU E-Cluster"},
    {"Tc0a", "CPU Core 1"},    {"Tc1a", "CPU Core 2"},    {"Tc2a", "CPU Core 3"},
    {"Tc3a", "CPU Core 4"},    {"Tc4a", "CPU Core 5"},    {"Tc5a", "CPU Core 6"},
    {"Tc6a", "CPU Core 7"},    {"Tc7a", "CPU Core 8"},    {"Tp01", "CPU P-Core 1"},
    {"Tp02", "CPU P-Core 2"},  {"Tp05", "CPU P-Core 3"},  {"Tp09", "CPU P-Core 4"},
    {"Tp0D", "CPU P-Core 5"},  {"Tp0b", "CPU P-Core 6"},
}};

inline constexpr std::array<Sensor, 10> gpuSensors{{
    {"TG0P", "GPU Proximity"},
    {"TG0p", "GPU Proximity"},
    {"TG0D", "GPU Die"},
    {"TG0d", "GPU Die"},
    {"Tg05", "GPU Core 1"},
    {"Tg0D", "GPU Core 2"},
    {"Tg0f", "GPU Core 3"},
    {"TGDD", "GPU VRAM"},
    {"TG0H", "GPU Heatsink"},
    {"TG0J", "GPU Heatsink 2"},
}};

inline constexpr std::array<Sensor, 16> otherSensors{{
    {"TM0P", "Memory Proximity"},
    {"TM0p", "Memory Proximity"},
    {"Tm0P", "Memory Module"},
    {"TB0T", "Battery"},
    {"TB1T", "Battery 1"},
    {"TB2T", "Battery 2"},
    {"TW0P", "Airport/WiFi"},
    {"TH0P", "Thunderbolt"},
    {"Ts0P", "Palm Rest 1"},
    {"Ts1P", "Palm Rest 2"},
    {"TA0P", "Ambient"},
    {"TaLP", "Airflow Left"},
    {"TaRP", "Airflow Right"},
    {"Tp0C", "SoC"},
    {"TN0P", "NB Proximity"},
    {"TPCD", "Platform Controller"},
}};

}  // namespace app
