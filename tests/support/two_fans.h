// The machine most tests of the tool run against, as a profile's key table.
#pragma once

// Two fans with "flt " speeds and "ui8 " modes, as on a 2019 MacBook Pro; one CPU sensor at
// 57.5 °C. Fan 0: 1800-5500 rpm, fan 1: 2000-6400 rpm.
inline constexpr const char* kTwoFans = R"(FNum|ui8 |1|80|02
F0Ac|flt |4|80|00000000
F0Mn|flt |4|80|0000E144
F0Mx|flt |4|80|00E0AB45
F0Md|ui8 |1|D0|00
F0Tg|flt |4|D4|00000000
F1Ac|flt |4|80|00000000
F1Mn|flt |4|80|0000FA44
F1Mx|flt |4|80|0000C845
F1Md|ui8 |1|D0|00
F1Tg|flt |4|D4|00000000
TC0P|sp78|2|80|3980
)";
