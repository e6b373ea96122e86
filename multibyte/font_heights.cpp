#include "multibyte/font_metrics.h"

const uint16_t fheight[FHEIGHT_COUNT] = {
    0,                                               // no font has number 0
    1212, 1276, 1212, 1276,                          // 1-4 AvantGarde
    1100, 1083, 1200, 1200,                          // 5-8 Bookman
    1200, 1200, 1200, 1200,                          // 9-12 CharterBT
    1200, 1200, 1200, 1200,                          // 13-16 NewCenturySchlbk
    963,                                             // 17 ZapfDingbats
    1200, 1200,                                      // 18, 19 (no font name)
    1156, 1190, 1156, 1190, 1156, 1190, 1156, 1190,  // 20-27 Helvetica, Helvetica-Narrow
    1116, 1153, 1100, 1139,                          // 28-31 Times
    1052, 1060, 1055, 1060,                          // 32-35 Courier
    1200, 1200, 1200, 1200,                          // 36-39 URWPalladioL
    1303,                                            // 40 Symbol
    1200, 1200,                                      // 41 URWAntiquaT, 42 URWGroteskT
    1145,                                            // 43 ZapfChancery
};
