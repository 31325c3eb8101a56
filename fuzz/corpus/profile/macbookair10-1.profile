# A fanless Apple Silicon laptop, modelled on the MacBook Air (M1, 2020), MacBookAir10,1.
# Made up for the simulated Mac from the key conventions of a real Apple Silicon key report (all
# temperatures little-endian "flt "); "FNum" is 0 and there are no fan keys. The values are
# plausible, not recorded.

[machine]
name = MacBookAir10,1
description = MacBook Air 2020, Apple M1, fanless (made up; FNum 0)
ambient = 24

[sources]
# Without fans the heat goes nowhere fast: a higher rise and slower settling.
cpu   idle=40 rise=58 cooling=0 tau=12 load=0.05
gpu   idle=37 rise=40 cooling=0 tau=14 load=0.02
board idle=30 rise=12 cooling=0 tau=40 load=0.05

[keys]
#KEY|ui32|4|80|0000001C
RPlt|ch8*|8|80|6A33313300000000|j313
BRSC|ui8 |1|80|5A
B0AV|ui16|2|80|2A30
FNum|ui8 |1|80|00|no fans
TB0T|flt |4|80|CDCCF041
TB1T|flt |4|80|0000F041
TB2T|flt |4|80|6666EE41
TH0x|flt |4|80|00000642
TPMP|flt |4|80|00001042
TW0P|flt |4|80|CDCC0842
TaLP|flt |4|80|0000F841
TaRP|flt |4|80|3333FB41
Te05|flt |4|80|00001842
Te0L|flt |4|80|66661642
Tg05|flt |4|80|9A991542
Tg0D|flt |4|80|00001442
Tg0f|flt |4|80|33331342
Tp01|flt |4|80|33332542
Tp05|flt |4|80|00002842
Tp09|flt |4|80|66662242
Tp0C|flt |4|80|00001A42
Tp0D|flt |4|80|33332742
Tp0b|flt |4|80|9A991F42
Tp0f|flt |4|80|CDCC2042
Ts0P|flt |4|80|0000EC41
Ts1P|flt |4|80|3333E741
TP0Z|flt |4|80|-|NOT_READABLE
