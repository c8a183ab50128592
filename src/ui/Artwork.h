#pragma once

#include <QIcon>
#include <QImage>
#include <QUrl>

namespace kervo {

// The pictures built into the program. The window shows the skin and the dial face until the
// start-up replaces them with the pictures named in the settings.
QImage builtinSkin();       // 678 x 522
QImage builtinDial();       // 95 x 95
QImage builtinEmblem();     // 32 x 32, the small picture beside the title
QIcon builtinWindowIcon();  // 32 x 32 and larger renderings
QUrl builtinAlarmSound();   // a short two-tone WAV

}  // namespace kervo
