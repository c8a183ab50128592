// Draws the built-in pictures of the monitor: the window skin and its alarm variant, the dial
// face and its alarm variant, the small emblem and the window icon. Run once by hand:
//
//     kervo_artwork <output folder>
//
// The output is committed under resources/img; tools/make_samples.sh turns copies of it into the
// sample pictures. Nothing here draws text: every text on the window comes from its labels.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRegion>
#include <QtMath>
#include <cstdio>

namespace {

constexpr int kSkinWidth = 678;
constexpr int kSkinHeight = 522;
constexpr int kShapeHeight = 519;  // the window shape; the rows below it are never seen
constexpr qreal kShapeRadius = 24;

// The colours of one look. The alarm look is the same drawing in reds.
struct Palette {
    QColor baseTop, baseBottom, border;
    QColor stripTop, stripBottom, stripLine;
    QColor panelTop, panelBottom, panelBorder, socket;
    QColor reportFill, reportRule;
    QColor accentText, accentMessage;
    QColor buttonTop, buttonBottom, buttonBorder, glyph;
    QColor closeTop, closeBottom, closeBorder, closeGlyph;
};

Palette calmPalette() {
    return Palette{QColor(0xee, 0xf1, 0xf4), QColor(0xcc, 0xd3, 0xdb), QColor(0x4e, 0x59, 0x65),
                   QColor(0xe4, 0xec, 0xf5), QColor(0xb3, 0xc5, 0xd9), QColor(0x6d, 0x82, 0x9a),
                   QColor(0xd9, 0xdf, 0xe6), QColor(0xcf, 0xd6, 0xde), QColor(0x95, 0xa1, 0xae),
                   QColor(0xbf, 0xc8, 0xd2), QColor(0xf8, 0xfa, 0xfc), QColor(0xdc, 0xe2, 0xe9),
                   QColor(0x4f, 0x74, 0x9c), QColor(0xb8, 0x3a, 0x3a), QColor(0xf6, 0xf8, 0xfb),
                   QColor(0xc9, 0xd4, 0xe0), QColor(0x64, 0x75, 0x88), QColor(0x2e, 0x3a, 0x47),
                   QColor(0xf7, 0xe1, 0xe1), QColor(0xdc, 0xa2, 0xa2), QColor(0x8e, 0x4d, 0x4d),
                   QColor(0x5c, 0x1c, 0x1c)};
}

Palette alarmPalette() {
    return Palette{QColor(0xff, 0xd6, 0xd6), QColor(0xf0, 0x8c, 0x8c), QColor(0x7a, 0x12, 0x12),
                   QColor(0xff, 0xe0, 0xe0), QColor(0xf2, 0x9c, 0x9c), QColor(0x9a, 0x1c, 0x1c),
                   QColor(0xf7, 0xb4, 0xb4), QColor(0xee, 0x9e, 0x9e), QColor(0xb0, 0x40, 0x40),
                   QColor(0xe6, 0x8c, 0x8c), QColor(0xff, 0xee, 0xee), QColor(0xf2, 0xc4, 0xc4),
                   QColor(0xb0, 0x10, 0x10), QColor(0xb0, 0x10, 0x10), QColor(0xff, 0xe8, 0xe8),
                   QColor(0xf0, 0xa8, 0xa8), QColor(0x9a, 0x30, 0x30), QColor(0x5a, 0x0c, 0x0c),
                   QColor(0xff, 0xd0, 0xd0), QColor(0xe8, 0x70, 0x70), QColor(0x8a, 0x10, 0x10),
                   QColor(0x4a, 0x00, 0x00)};
}

QLinearGradient vertical(qreal top, qreal bottom, const QColor& from, const QColor& to) {
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    return g;
}

// A recessed panel: a soft shadow along its top edge and a light line along its bottom edge make
// it look pressed into the plate.
void drawInset(QPainter& p, const QRectF& r, qreal radius, const QBrush& fill,
               const QColor& border) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawRoundedRect(r.translated(0, 1), radius, radius);
    p.setBrush(fill);
    p.setPen(QPen(border, 1));
    p.drawRoundedRect(r, radius, radius);
    p.setPen(QPen(QColor(0, 0, 0, 28), 1));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(r.left() + radius, r.top() + 1.5),
               QPointF(r.right() - radius, r.top() + 1.5));
}

// The small square buttons under the minimise and close hot spots.
void drawButton(QPainter& p, const QRectF& r, const QColor& top, const QColor& bottom,
                const QColor& border) {
    p.setPen(QPen(border, 1));
    p.setBrush(vertical(r.top(), r.bottom(), top, bottom));
    p.drawRoundedRect(r, 3.5, 3.5);
    p.setPen(QPen(QColor(255, 255, 255, 160), 1));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(r.left() + 3, r.top() + 1.5), QPointF(r.right() - 3, r.top() + 1.5));
}

QImage drawSkin(const Palette& c) {
    QImage img(kSkinWidth, kSkinHeight, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    // Every pixel of the window's shape is covered, so that no colour shows through at the
    // rounded edge: the shape's own pixels in the border colour, the smooth plate over them.
    const int e = 2 * static_cast<int>(kShapeRadius);
    QRegion shape(e / 2, 0, kSkinWidth - e, kShapeHeight);
    shape += QRegion(0, e / 2, kSkinWidth, kShapeHeight - e);
    shape += QRegion(0, 0, e, e, QRegion::Ellipse);
    shape += QRegion(kSkinWidth - e, 0, e, e, QRegion::Ellipse);
    shape += QRegion(0, kShapeHeight - e, e, e, QRegion::Ellipse);
    shape += QRegion(kSkinWidth - e, kShapeHeight - e, e, e, QRegion::Ellipse);
    p.setClipRegion(shape);
    p.fillRect(img.rect(), c.border);

    // the plate
    const QRectF plate(0.5, 0.5, kSkinWidth - 1, kShapeHeight - 1);
    p.setPen(QPen(c.border, 1));
    p.setBrush(vertical(0, kShapeHeight, c.baseTop, c.baseBottom));
    p.drawRoundedRect(plate, kShapeRadius, kShapeRadius);
    p.setPen(QPen(QColor(255, 255, 255, 140), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(plate.adjusted(1, 1, -1, -1), kShapeRadius - 1, kShapeRadius - 1);

    // fine horizontal brushing over the plate
    p.setPen(Qt::NoPen);
    for (int y = 2; y < kShapeHeight - 2; y += 2) {
        p.setBrush(QColor(255, 255, 255, (y / 2) % 3 == 0 ? 14 : 6));
        p.drawRect(QRectF(8, y, kSkinWidth - 16, 1));
    }

    // title strip behind the product title, the reset label and the two hot spots
    const QRectF strip(14, 4, kSkinWidth - 28, 28);
    p.setPen(QPen(c.stripLine, 1));
    p.setBrush(vertical(strip.top(), strip.bottom(), c.stripTop, c.stripBottom));
    p.drawRoundedRect(strip, 12, 12);
    p.setPen(QPen(QColor(255, 255, 255, 170), 1));
    p.drawLine(QPointF(strip.left() + 12, strip.top() + 1.5),
               QPointF(strip.right() - 12, strip.top() + 1.5));

    // minimise at 624,8 and close at 648,8, each 17 x 17
    const QRectF minimise(624.5, 8.5, 16, 16);
    drawButton(p, minimise, c.buttonTop, c.buttonBottom, c.buttonBorder);
    p.setPen(QPen(c.glyph, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(628.5, 19.5), QPointF(636.5, 19.5));
    const QRectF close(648.5, 8.5, 16, 16);
    drawButton(p, close, c.closeTop, c.closeBottom, c.closeBorder);
    p.setPen(QPen(c.closeGlyph, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(652.5, 12.5), QPointF(660.5, 20.5));
    p.drawLine(QPointF(660.5, 12.5), QPointF(652.5, 20.5));

    // the clock window
    drawInset(p, QRectF(66.5, 37.5, 182, 22), 5, c.reportFill, c.panelBorder);

    // the dial bay: two rows of six sockets
    drawInset(p, QRectF(20.5, 86.5, 637, 270), 12, vertical(86, 356, c.panelTop, c.panelBottom),
              c.panelBorder);
    for (int i = 0; i < 12; ++i) {
        const int col = i % 6;
        const int row = i / 6;
        const QPointF centre(32 + 104 * col + 48.5, 120 + 128 * row + 48.5);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 255, 255, 150), 1.2));
        p.drawEllipse(centre + QPointF(0, 1), 40, 40);
        p.setPen(QPen(c.socket, 1.2));
        p.drawEllipse(centre, 40, 40);
        p.setPen(QPen(c.socket, 1));
        p.drawLine(centre - QPointF(4, 0), centre + QPointF(4, 0));
        p.drawLine(centre - QPointF(0, 4), centre + QPointF(0, 4));
    }

    // the report: three ruled lines with a coloured mark in front of each
    drawInset(p, QRectF(36.5, 368.5, 616, 118), 8, c.reportFill, c.panelBorder);
    p.setPen(QPen(c.reportRule, 1));
    p.drawLine(QPointF(46, 403.5), QPointF(642, 403.5));
    p.drawLine(QPointF(46, 429.5), QPointF(642, 429.5));
    p.setPen(Qt::NoPen);
    p.setBrush(c.accentText);
    p.drawRoundedRect(QRectF(40.5, 378, 3, 18), 1.5, 1.5);
    p.setBrush(c.accentMessage);
    p.drawRoundedRect(QRectF(40.5, 410, 3, 18), 1.5, 1.5);
    p.setBrush(c.accentText);
    p.drawRoundedRect(QRectF(40.5, 434, 3, 44), 1.5, 1.5);

    // a groove above the hint line
    p.setPen(QPen(QColor(0, 0, 0, 40), 1));
    p.drawLine(QPointF(40, 491.5), QPointF(kSkinWidth - 40, 491.5));
    p.setPen(QPen(QColor(255, 255, 255, 150), 1));
    p.drawLine(QPointF(40, 492.5), QPointF(kSkinWidth - 40, 492.5));

    p.end();
    return img;
}

struct DialColours {
    QColor faceCentre, faceEdge, ring, hourTick, minuteTick, noon, hub;
};

// A clock face of 95 x 95 px on white, centred on 47.5. The ticks stay light and short so that
// the one-pixel grey and green minute hands drawn over it remain the strongest lines.
QImage drawDial(const DialColours& c) {
    QImage img(95, 95, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(47.5, 47.5);

    QRadialGradient face(centre, 46);
    face.setColorAt(0, c.faceCentre);
    face.setColorAt(0.85, c.faceCentre);
    face.setColorAt(1, c.faceEdge);
    p.setPen(Qt::NoPen);
    p.setBrush(face);
    p.drawEllipse(centre, 45.5, 45.5);

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(c.ring, 2));
    p.drawEllipse(centre, 45.5, 45.5);
    p.setPen(QPen(QColor(255, 255, 255, 200), 1));
    p.drawEllipse(centre, 43.6, 43.6);

    for (int m = 0; m < 60; ++m) {
        const qreal a = qDegreesToRadians(6.0 * m - 90.0);
        const QPointF dir(qCos(a), qSin(a));
        if (m % 5 == 0) {
            const bool noon = m == 0;
            p.setPen(
                QPen(noon ? c.noon : c.hourTick, noon ? 2.6 : 1.8, Qt::SolidLine, Qt::FlatCap));
            p.drawLine(centre + dir * (noon ? 33.0 : 35.5), centre + dir * 42.5);
        } else {
            p.setPen(QPen(c.minuteTick, 1, Qt::SolidLine, Qt::FlatCap));
            p.drawLine(centre + dir * 39.5, centre + dir * 42.5);
        }
    }

    p.setPen(Qt::NoPen);
    p.setBrush(c.hub);
    p.drawEllipse(centre, 2.2, 2.2);
    p.end();
    return img;
}

// A monitor's dial on a rounded square: the same face, a grey trace and one green hand.
QImage drawIcon(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;
    const QRectF tile(0.5 * s, 0.5 * s, 31 * s, 31 * s);
    p.setPen(QPen(QColor(0x1b, 0x3c, 0x63), s));
    p.setBrush(vertical(0, size, QColor(0x4d, 0x8a, 0xcf), QColor(0x1f, 0x4e, 0x86)));
    p.drawRoundedRect(tile, 6 * s, 6 * s);

    const QPointF centre(16 * s, 16 * s);
    p.setPen(QPen(QColor(0x1b, 0x3c, 0x63), 1.2 * s));
    p.setBrush(QColor(0xf4, 0xf7, 0xfa));
    p.drawEllipse(centre, 12 * s, 12 * s);
    for (int m = 0; m < 60; m += 5) {
        const qreal a = qDegreesToRadians(6.0 * m - 90.0);
        const QPointF dir(qCos(a), qSin(a));
        p.setPen(QPen(QColor(0x7a, 0x88, 0x96), (m % 15 == 0 ? 1.4 : 0.8) * s));
        p.drawLine(centre + dir * 9.0 * s, centre + dir * 11.0 * s);
    }
    for (int m = 5; m <= 25; m += 2) {
        const qreal a = qDegreesToRadians(6.0 * m - 90.0);
        p.setPen(QPen(QColor(90, 90, 90, 150), 0.8 * s));
        p.drawLine(centre, centre + QPointF(qCos(a), qSin(a)) * 11.0 * s);
    }
    const qreal green = qDegreesToRadians(6.0 * 40 - 90.0);
    p.setPen(QPen(QColor(0x10, 0xc0, 0x10), 1.8 * s, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre, centre + QPointF(qCos(green), qSin(green)) * 11.0 * s);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2e, 0x3a, 0x47));
    p.drawEllipse(centre, 1.6 * s, 1.6 * s);
    p.end();
    return img;
}

// The emblem sits in a box 25 px high, so everything that matters lies in its top 25 rows.
QImage drawEmblem() {
    QImage img(32, 32, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF tile(3.5, 0.5, 25, 23);
    p.setPen(QPen(QColor(0x1b, 0x3c, 0x63), 1));
    p.setBrush(vertical(0, 24, QColor(0x4d, 0x8a, 0xcf), QColor(0x1f, 0x4e, 0x86)));
    p.drawRoundedRect(tile, 5, 5);
    const QPointF centre(16, 12);
    p.setPen(QPen(QColor(255, 255, 255, 230), 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, 8, 8);
    p.setPen(QPen(QColor(255, 255, 255, 110), 1));
    p.drawEllipse(centre, 4.5, 4.5);
    p.setPen(QPen(QColor(0x5c, 0xf0, 0x5c), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre, centre + QPointF(5.5, -5.5));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, 1.4, 1.4);
    p.end();
    return img;
}

bool save(const QImage& img, const QDir& dir, const char* name) {
    const QString path = dir.filePath(QString::fromUtf8(name));
    if (!img.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(path), img.width(), img.height());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    const DialColours calmDial{QColor(0xff, 0xff, 0xff), QColor(0xe6, 0xeb, 0xf0),
                               QColor(0x55, 0x62, 0x70), QColor(0x6f, 0x7c, 0x8a),
                               QColor(0xb4, 0xbd, 0xc7), QColor(0x2f, 0x6f, 0xb0),
                               QColor(0x3a, 0x46, 0x52)};
    const DialColours alarmDial{QColor(0xff, 0xf2, 0xf2), QColor(0xff, 0xc4, 0xc4),
                                QColor(0xc0, 0x00, 0x00), QColor(0xa8, 0x20, 0x20),
                                QColor(0xe8, 0x9a, 0x9a), QColor(0xe0, 0x00, 0x00),
                                QColor(0x80, 0x10, 0x10)};

    bool ok = save(drawSkin(calmPalette()), out, "skin.png");
    ok = save(drawSkin(alarmPalette()), out, "skin_alarm.png") && ok;
    ok = save(drawDial(calmDial), out, "dial.png") && ok;
    ok = save(drawDial(alarmDial), out, "dial_alarm.png") && ok;
    ok = save(drawEmblem(), out, "emblem.png") && ok;
    ok = save(drawIcon(32), out, "icon32.png") && ok;
    ok = save(drawIcon(64), out, "icon64.png") && ok;
    ok = save(drawIcon(256), out, "icon256.png") && ok;
    return ok ? 0 : 1;
}
