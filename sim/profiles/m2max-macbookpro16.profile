# Apple M2 Max MacBook Pro 16" (Mac14,6): every value a little-endian "flt ".
# Its fans stand still until the machine warms (F0Ac = 0 rpm at idle). The P-core keys "Tp.."
# held the firmware's placeholder values of power-gated clusters when recorded; here they are
# driven by the CPU so that the machine shows its P-cores working.
# The key table below is a subset of a key report recorded on the real machine, unchanged. It
# comes from a data file of an MIT-licensed public SMC command-line utility, Copyright (c) 2019
# Dinko Korunic. Attributes were not recorded there: 80 is assumed, D0 for F?Md and D4 for F?Tg.
# See NOTICE.

[machine]
name = M2Max-MacBookPro16
description = MacBook Pro 16-inch 2023, Apple M2 Max (all flt, fans stop when cool)
ambient = 24

[sources]
cpu   idle=36 rise=60 cooling=0.40 tau=4  load=0.05
gpu   idle=34 rise=45 cooling=0.40 tau=6  load=0.02
board idle=30 rise=8  cooling=0.30 tau=25 load=0.05

[temps]
Tp01 cpu 2
Tp02 cpu 1
Tp05 cpu 3
Tp06 cpu 0
Tp09 cpu 2
Tp0A cpu 1
Tp0D cpu 3
Tp0E cpu 0
Tp0X cpu 2
Tp0Y cpu 1
Tp0b cpu 3
Tp0c cpu 0
Tp0f cpu 2
Tp0g cpu 1
Tp0j cpu 3
Tp0k cpu 0
Tp0C cpu -1

[fans]
0 low=62 high=95 stop=yes
1 low=62 high=95 stop=yes

[keys]
# machine: Apple Silicon M2 Max MacBook Pro (RPlt='j416c' => 16-inch, Mac14,6; battery B0DC=0x21F6=8694 mAh LE)
# captured on: macOS, on the real machine, as a raw key report
# source: a data file (report-m2-max.txt) in an MIT-licensed public SMC command-line utility
# licence: repository LICENSE = MIT (Copyright (c) 2019 Dinko Korunic)
# SUBSET: full dump has #KEY=2409 keys (96 KB); saved here: #KEY, RPlt, a few battery/power keys, ALL F* keys, all T* keys from TAOL..Ts1P except Th04..Th0U, Tf*, Ta0*, Tp1*/Tp2*, Tz*, TRD*
# NOTE: fans idle at 0 rpm (F0Ac=F1Ac=0, F0Tg=0, FOff=1); Tp* values 4.6-8.4 C are firmware sentinels for power-gated CPU clusters (not real temps)
# NOTE: integer byte order on Apple Silicon is per-key: #KEY/FOFC/F0Fc/RBID big-endian, but B0AV/B0CT/B0DC little-endian (decoded column shows both)
# format: key|type|size|attr|hex|decoded  (attr not recorded in the source: 80 = readable assumed; D0 for F?Md and D4 for F?Tg, as on T2 Intel Macs)
#KEY|ui32|4|80|00000969|BE=2409 LE=1762197504
AC-W|si8 |1|80|04|4
B0AV|ui16|2|80|D931|BE=55601 LE=12761
B0CT|ui16|2|80|7B00|BE=31488 LE=123
B0DC|ui16|2|80|F621|BE=63009 LE=8694
BRSC|ui8 |1|80|63|99
F0Ac|flt |4|80|00000000|0.0000 (LE float)
F0Dc|flt |4|80|00000000|0.0000 (LE float)
F0Fb|ui8 |1|80|09|9
F0Fc|ui16|2|80|0006|BE=6 LE=1536
F0Md|ui8 |1|D0|00|0
F0Mn|flt |4|80|00C0A844|1350.0000 (LE float)
F0Mx|flt |4|80|0028A745|5349.0000 (LE float)
F0Sf|ui16|2|80|0000|BE=0 LE=0
F0St|ui8 |1|80|03|3
F0Tg|flt |4|D4|00000000|0.0000 (LE float)
F1Ac|flt |4|80|00000000|0.0000 (LE float)
F1Dc|flt |4|80|00000000|0.0000 (LE float)
F1Fb|ui8 |1|80|09|9
F1Fc|ui16|2|80|0004|BE=4 LE=1024
F1Md|ui8 |1|D0|00|0
F1Mn|flt |4|80|0040BE44|1522.0000 (LE float)
F1Mx|flt |4|80|0088B445|5777.0000 (LE float)
F1Sf|ui16|2|80|0000|BE=0 LE=0
F1St|ui8 |1|80|03|3
F1Tg|flt |4|D4|00000000|0.0000 (LE float)
FBAD|hex_|4|80|00000000|
FNum|ui8 |1|80|02|2
FOFC|ui32|4|80|00000055|BE=85 LE=1426063360
FOff|ui8 |1|80|01|1
FRmp|ui16|2|80|0000|BE=0 LE=0
ID0R|flt |4|80|60560D40|2.2084 (LE float)
MSLD|ui8 |1|80|00|0
PDTR|flt |4|80|E4E92A41|10.6821 (LE float)
PHPC|flt |4|80|FC023540|2.8283 (LE float)
PMVR|flt |4|80|A23CF542|122.6184 (LE float)
PSTR|flt |4|80|71D70841|8.5526 (LE float)
RPlt|ch8*|8|80|6A34313663000000|'j416c'
SBAR|flt |4|80|0028EC45|7557.0000 (LE float)
SBAS|flt |4|80|0000C642|99.0000 (LE float)
SBAV|flt |4|80|F6284C41|12.7600 (LE float)
TAOL|flt |4|80|0080C541|24.6875 (LE float)
TB0T|flt |4|80|3033CF41|25.9000 (LE float)
TB1T|flt |4|80|9899CD41|25.7000 (LE float)
TB2T|flt |4|80|3033CF41|25.9000 (LE float)
TCDX|flt |4|80|3DEA0742|33.9787 (LE float)
TCHP|flt |4|80|6050F541|30.6642 (LE float)
TCMb|flt |4|80|9C641342|36.8483 (LE float)
TCMz|flt |4|80|9A491942|38.3219 (LE float)
TD00|flt |4|80|5498C741|24.9494 (LE float)
TD01|flt |4|80|235EC341|24.4210 (LE float)
TD02|flt |4|80|FBE3C341|24.4863 (LE float)
TD03|flt |4|80|5A1ABF41|23.8879 (LE float)
TD04|flt |4|80|D330C041|24.0238 (LE float)
TD10|flt |4|80|EC2BC241|24.2714 (LE float)
TD11|flt |4|80|4C97CB41|25.4489 (LE float)
TD12|flt |4|80|EA85C541|24.6904 (LE float)
TD13|flt |4|80|1060C841|25.0469 (LE float)
TD14|flt |4|80|6412C041|24.0090 (LE float)
TD20|flt |4|80|4468CA41|25.3009 (LE float)
TD21|flt |4|80|15ACCE41|25.8340 (LE float)
TD22|flt |4|80|6077CF41|25.9333 (LE float)
TD23|flt |4|80|BA1FD441|26.5155 (LE float)
TD24|flt |4|80|888DCA41|25.3191 (LE float)
TDBP|flt |4|80|0080CD41|25.6875 (LE float)
TDCR|flt |4|80|0080DB41|27.4375 (LE float)
TDEC|flt |4|80|0080D741|26.9375 (LE float)
TDEL|flt |4|80|0000D241|26.2500 (LE float)
TDER|flt |4|80|0080D541|26.6875 (LE float)
TDTP|flt |4|80|0080DF41|27.9375 (LE float)
TDVx|flt |4|80|BA1FD441|26.5155 (LE float)
TDeL|flt |4|80|0000D241|26.2500 (LE float)
TDeR|flt |4|80|0000D241|26.2500 (LE float)
TG0B|ioft|8|80|66E6190000000000|25.9000 (LE 48.16 fixed)
TG0C|ioft|8|80|0000190000000000|25.0000 (LE 48.16 fixed)
TG0H|ioft|8|80|0000190000000000|25.0000 (LE 48.16 fixed)
TG0V|ioft|8|80|66E6190000000000|25.9000 (LE 48.16 fixed)
TG1B|ioft|8|80|33B3190000000000|25.7000 (LE 48.16 fixed)
TG2B|ioft|8|80|66E6190000000000|25.9000 (LE 48.16 fixed)
TH0a|flt |4|80|0068D241|26.3008 (LE float)
TH0b|flt |4|80|0098CF41|25.9492 (LE float)
TH0x|flt |4|80|0068D241|26.3008 (LE float)
TH1a|flt |4|80|00000000|0.0000 (LE float)
TH1b|flt |4|80|00000000|0.0000 (LE float)
TMVR|flt |4|80|081CF141|30.1387 (LE float)
TPD0|flt |4|80|F004F841|31.0024 (LE float)
TPD1|flt |4|80|F004F841|31.0024 (LE float)
TPD2|flt |4|80|8826FA41|31.2688 (LE float)
TPD3|flt |4|80|3F92FB41|31.4464 (LE float)
TPD4|flt |4|80|A4450042|32.0680 (LE float)
TPD5|flt |4|80|B069FE41|31.8016 (LE float)
TPD6|flt |4|80|60DCFA41|31.3576 (LE float)
TPD7|flt |4|80|60DCFA41|31.3576 (LE float)
TPD8|flt |4|80|8826FA41|31.2688 (LE float)
TPD9|flt |4|80|3F92FB41|31.4464 (LE float)
TPDX|flt |4|80|A4450042|32.0680 (LE float)
TPDa|flt |4|80|F8FDFC41|31.6240 (LE float)
TPDb|flt |4|80|B069FE41|31.8016 (LE float)
TPDc|flt |4|80|60DCFA41|31.3576 (LE float)
TPDd|flt |4|80|3F92FB41|31.4464 (LE float)
TPDe|flt |4|80|60DCFA41|31.3576 (LE float)
TPDf|flt |4|80|3F92FB41|31.4464 (LE float)
TPDg|flt |4|80|1848FC41|31.5352 (LE float)
TPDh|flt |4|80|60DCFA41|31.3576 (LE float)
TPDi|flt |4|80|1848FC41|31.5352 (LE float)
TPDj|flt |4|80|60DCFA41|31.3576 (LE float)
TPMP|flt |4|80|8065E941|29.1746 (LE float)
TPSP|flt |4|80|E073FE41|31.8066 (LE float)
TPVD|flt |4|80|7E81F341|30.4382 (LE float)
TR0Z|ioft|8|80|9AD9330000000000|51.8500 (LE 48.16 fixed)
TR1d|ioft|8|80|DF011E0000000000|30.0073 (LE 48.16 fixed)
TR2d|ioft|8|80|0AE31E0000000000|30.8869 (LE 48.16 fixed)
TS0P|flt |4|80|00B9F141|30.2153 (LE float)
TSVR|flt |4|80|F092EB41|29.4467 (LE float)
TSWR|flt |4|80|C8E7EF41|29.9882 (LE float)
TSXR|flt |4|80|C0E4E941|29.2367 (LE float)
TVA0|flt |4|80|DBF4C241|24.3696 (LE float)
TVD0|flt |4|80|9C641342|36.8483 (LE float)
TVM0|flt |4|80|022C2D42|43.2930 (LE float)
TVM2|flt |4|80|1B7550BD|-0.0509 (LE float)
TVM3|flt |4|80|B22D64C2|-57.0446 (LE float)
TVM4|flt |4|80|49687042|60.1018 (LE float)
TVMC|flt |4|80|DE10F141|30.1332 (LE float)
TVMD|flt |4|80|00000000|0.0000 (LE float)
TVMO|flt |4|80|4D8E5241|13.1597 (LE float)
TVS0|flt |4|80|3542D941|27.1573 (LE float)
TVS1|flt |4|80|DD04D641|26.7524 (LE float)
TVS2|flt |4|80|1868D441|26.5508 (LE float)
TVSx|flt |4|80|3542D941|27.1573 (LE float)
TVV0|flt |4|80|E7660642|33.6005 (LE float)
TW0P|flt |4|80|68B3F841|31.0876 (LE float)
TaLP|flt |4|80|A005FD41|31.6277 (LE float)
TaLT|flt |4|80|C0B2D641|26.8373 (LE float)
TaLW|flt |4|80|0867DC41|27.5503 (LE float)
TaRF|flt |4|80|E8D6F141|30.2299 (LE float)
TaRT|flt |4|80|5821E641|28.7663 (LE float)
TaRW|flt |4|80|A874DB41|27.4320 (LE float)
TaTP|flt |4|80|10AAF541|30.7080 (LE float)
Te04|flt |4|80|EA72F041|30.0561 (LE float)
Te05|flt |4|80|DB9F1042|36.1561 (LE float)
Te06|flt |4|80|9A491942|38.3219 (LE float)
Tg0W|flt |4|80|0040F241|30.2812 (LE float)
Tg0X|flt |4|80|9C641342|36.8483 (LE float)
Tg0e|flt |4|80|0020F541|30.6406 (LE float)
Tg0f|flt |4|80|CD5C1142|36.3406 (LE float)
Tg0i|flt |4|80|00C0F141|30.2188 (LE float)
Tg0j|flt |4|80|CDAC0F42|35.9188 (LE float)
Tg1g|flt |4|80|0060F141|30.1719 (LE float)
Tg1h|flt |4|80|CD7C0F42|35.8719 (LE float)
Tg1k|flt |4|80|00B0EF41|29.9609 (LE float)
Tg1l|flt |4|80|CDA40E42|35.6609 (LE float)
Tg2W|flt |4|80|0010F041|30.0078 (LE float)
Tg2X|flt |4|80|9C4C1242|36.5748 (LE float)
Tg2e|flt |4|80|00A0F141|30.2031 (LE float)
Tg2f|flt |4|80|CD9C0F42|35.9031 (LE float)
Tg3Y|flt |4|80|0020F841|31.0156 (LE float)
Tg3Z|flt |4|80|CDDC1242|36.7156 (LE float)
Th00|flt |4|80|55C5EF41|29.9714 (LE float)
Th01|flt |4|80|55C5EF41|29.9714 (LE float)
Th02|flt |4|80|00C0F141|30.2188 (LE float)
Tp00|flt |4|80|00000000|0.0000 (LE float)
Tp01|flt |4|80|6666D640|6.7000 (LE float)
Tp02|flt |4|80|CDCC0641|8.4250 (LE float)
Tp04|flt |4|80|00000000|0.0000 (LE float)
Tp05|flt |4|80|89419440|4.6330 (LE float)
Tp06|flt |4|80|6666AA40|5.3250 (LE float)
Tp08|flt |4|80|00000000|0.0000 (LE float)
Tp09|flt |4|80|6666D640|6.7000 (LE float)
Tp0A|flt |4|80|CDCC0641|8.4250 (LE float)
Tp0C|flt |4|80|00000000|0.0000 (LE float)
Tp0D|flt |4|80|89419440|4.6330 (LE float)
Tp0E|flt |4|80|6666AA40|5.3250 (LE float)
Tp0W|flt |4|80|00000000|0.0000 (LE float)
Tp0X|flt |4|80|6666D640|6.7000 (LE float)
Tp0Y|flt |4|80|CDCC0641|8.4250 (LE float)
Tp0a|flt |4|80|00000000|0.0000 (LE float)
Tp0b|flt |4|80|89419440|4.6330 (LE float)
Tp0c|flt |4|80|6666AA40|5.3250 (LE float)
Tp0e|flt |4|80|00000000|0.0000 (LE float)
Tp0f|flt |4|80|6666D640|6.7000 (LE float)
Tp0g|flt |4|80|CDCC0641|8.4250 (LE float)
Tp0i|flt |4|80|00000000|0.0000 (LE float)
Tp0j|flt |4|80|89419440|4.6330 (LE float)
Tp0k|flt |4|80|6666AA40|5.3250 (LE float)
Ts0C|flt |4|80|F24CF941|31.1626 (LE float)
Ts0D|flt |4|80|F24CF941|31.1626 (LE float)
Ts0E|flt |4|80|00E0FF41|31.9844 (LE float)
Ts0P|flt |4|80|0080CC41|25.5625 (LE float)
Ts1P|flt |4|80|0080C141|24.1875 (LE float)
