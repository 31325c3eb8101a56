# A made-up workstation with eleven fans, for the fan keys of ten and more (five characters:
# "F10Ac", whose code is that of "10Ac"). T2-style keys: "flt " fans forced through F?Md, "sp78"
# temperatures. Nothing here was recorded on a real machine.

[machine]
name = Workstation11Fans
description = Made-up workstation with eleven fans (F10Ac and friends)
ambient = 22

[sources]
cpu   idle=44 rise=50 cooling=0.45 tau=8  load=0.1
gpu   idle=41 rise=45 cooling=0.45 tau=10 load=0.05
board idle=32 rise=10 cooling=0.35 tau=30 load=0.1

[fans]
0 low=50 high=85
1 low=50 high=85
2 low=50 high=85
3 low=50 high=85
4 low=50 high=85
5 low=50 high=85
6 low=50 high=85
7 low=50 high=85
8 low=50 high=85
9 low=50 high=85
10 low=50 high=85

[keys]
#KEY|ui32|4|80|00000051
F0Ac|flt |4|85|00609644
F0Md|ui8 |1|D0|00
F0Mn|flt |4|84|00009644
F0Mx|flt |4|84|00007A45
F0Tg|flt |4|D4|00009644
F10Ac|flt |4|85|00E0D444
F10Md|ui8 |1|D0|00
F10Mn|flt |4|84|0080D444
F10Mx|flt |4|84|00409C45
F10Tg|flt |4|D4|0080D444
F1Ac|flt |4|85|00A09C44
F1Md|ui8 |1|D0|00
F1Mn|flt |4|84|00409C44
F1Mx|flt |4|84|00208045
F1Tg|flt |4|D4|00409C44
F2Ac|flt |4|85|00E0A244
F2Md|ui8 |1|D0|00
F2Mn|flt |4|84|0080A244
F2Mx|flt |4|84|00408345
F2Tg|flt |4|D4|0080A244
F3Ac|flt |4|85|0020A944
F3Md|ui8 |1|D0|00
F3Mn|flt |4|84|00C0A844
F3Mx|flt |4|84|00608645
F3Tg|flt |4|D4|00C0A844
F4Ac|flt |4|85|0060AF44
F4Md|ui8 |1|D0|00
F4Mn|flt |4|84|0000AF44
F4Mx|flt |4|84|00808945
F4Tg|flt |4|D4|0000AF44
F5Ac|flt |4|85|00A0B544
F5Md|ui8 |1|D0|00
F5Mn|flt |4|84|0040B544
F5Mx|flt |4|84|00A08C45
F5Tg|flt |4|D4|0040B544
F6Ac|flt |4|85|00E0BB44
F6Md|ui8 |1|D0|00
F6Mn|flt |4|84|0080BB44
F6Mx|flt |4|84|00C08F45
F6Tg|flt |4|D4|0080BB44
F7Ac|flt |4|85|0020C244
F7Md|ui8 |1|D0|00
F7Mn|flt |4|84|00C0C144
F7Mx|flt |4|84|00E09245
F7Tg|flt |4|D4|00C0C144
F8Ac|flt |4|85|0060C844
F8Md|ui8 |1|D0|00
F8Mn|flt |4|84|0000C844
F8Mx|flt |4|84|00009645
F8Tg|flt |4|D4|0000C844
F9Ac|flt |4|85|00A0CE44
F9Md|ui8 |1|D0|00
F9Mn|flt |4|84|0040CE44
F9Mx|flt |4|84|00209945
F9Tg|flt |4|D4|0040CE44
FNum|ui8 |1|80|0B
FOff|ui8 |1|80|00
TA0P|sp78|2|C0|1880
TC0D|sp78|2|C0|3400
TC0E|sp78|2|C0|2F80
TC0P|sp78|2|C0|2C00
TG0D|sp78|2|C0|2E00
TG0H|sp78|2|C0|2880
TG0P|sp78|2|C0|2A00
TGDD|sp78|2|C0|2B80
TH0P|sp78|2|C0|2300
TM0P|sp78|2|C0|2900
TN0P|sp78|2|C0|2D80
TPCD|sp78|2|C0|3000
TaLP|sp78|2|C0|2100
TaRP|sp78|2|C0|2180
Tc0a|sp78|2|C0|3000
Tc1a|sp78|2|C0|3100
Tc2a|sp78|2|C0|3200
Tc3a|sp78|2|C0|3300
Tc4a|sp78|2|C0|3000
Tc5a|sp78|2|C0|3100
Tc6a|sp78|2|C0|3200
Tc7a|sp78|2|C0|3300
Tm0P|sp78|2|C0|2780
