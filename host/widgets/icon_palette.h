#pragma once
// The few colours every button image is drawn with, so that all windows look alike.
#include <QColor>

namespace tavik::icons {

inline const QColor kOutline(0x2f, 0x3b, 0x4c);
inline const QColor kBlue(0x2f, 0x74, 0xd0);
inline const QColor kGreen(0x2e, 0x9d, 0x4a);
inline const QColor kRed(0xd0, 0x39, 0x2b);
inline const QColor kAmber(0xe8, 0xa8, 0x30);
inline const QColor kPaper(0xfb, 0xfb, 0xf7);
inline const QColor kBox(0xc8, 0x95, 0x5a);
inline const QColor kGrey(0x9a, 0xa3, 0xad);

}  // namespace tavik::icons
