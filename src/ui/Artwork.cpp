#include "ui/Artwork.h"

// The resources live in a static library; nothing would pull them into the program unless a
// function of theirs is referenced.
static void initKervoResources() {
    Q_INIT_RESOURCE(kervo);
}

namespace kervo {

namespace {

QImage resourceImage(const char* name) {
    initKervoResources();
    return QImage(QStringLiteral(":/kervo/img/") + QString::fromLatin1(name));
}

}  // namespace

QImage builtinSkin() {
    return resourceImage("skin.png");
}
QImage builtinDial() {
    return resourceImage("dial.png");
}
QImage builtinEmblem() {
    return resourceImage("emblem.png");
}

QIcon builtinWindowIcon() {
    QIcon icon;
    for (const char* name : {"icon32.png", "icon64.png", "icon256.png"}) {
        icon.addPixmap(QPixmap::fromImage(resourceImage(name)));
    }
    return icon;
}

QUrl builtinAlarmSound() {
    initKervoResources();
    return QUrl(QStringLiteral("qrc:/kervo/sound/alarm.wav"));
}

}  // namespace kervo
