// The main window's controls against the design table: boxes (given in twips, 15 to a pixel),
// faces, looks and start states.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QMenu>
#include <QMenuBar>

#include "UiTestSupport.h"
#include "app/FormModel.h"
#include "ui/MainWindow.h"
#include "ui/TextBox.h"

using namespace kervo;
using kervo::test::control;

namespace {

QRect fromTwips(int left, int top, int width, int height) {
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

struct ControlCase {
    const char* name;
    QRect box;
    const char* face;  // nullptr for a picture box
    qreal points;
    int weight;
    bool italic;
};

void PrintTo(const ControlCase& c, std::ostream* os) {
    *os << c.name;
}

const ControlCase kControls[] = {
    {"Picture2", fromTwips(360, 480, 480, 375), nullptr, 0, 0, false},
    {"Label7", fromTwips(840, 120, 4935, 375), "Arial Black", 9.75, 400, true},
    {"Label4", fromTwips(1080, 600, 2535, 255), "Arial Black", 9.75, 400, false},
    {"Label10", fromTwips(7800, 120, 1455, 255), "Arial Black", 9, 700, true},
    {"Label8", fromTwips(9360, 120, 255, 255), "Arial Black", 9, 700, true},
    {"Label9", fromTwips(9720, 120, 255, 255), "Arial Black", 9, 700, true},
    {"Label1", fromTwips(720, 5640, 8175, 375), "ＭＳ Ｐゴシック", 9, 400, false},
    {"Label3", fromTwips(720, 6120, 8655, 375), "ＭＳ Ｐゴシック", 9, 400, false},
    {"Label2", fromTwips(720, 6480, 8895, 735), "ＭＳ Ｐゴシック", 9, 400, false},
    {"Label6", fromTwips(3240, 7440, 3855, 255), "ＭＳ Ｐゴシック", 9, 400, false},
    {"Label11", fromTwips(8520, 7440, 1455, 255), "Arial Black", 9, 700, true},
};

class MainWindowControl : public ::testing::TestWithParam<ControlCase> {
  protected:
    FormModel model;
    MainWindow window{model};
};

TEST_P(MainWindowControl, boxAndFace_matchDesignTable) {
    const ControlCase& c = GetParam();
    QWidget* widget = control(window, QString::fromLatin1(c.name));
    EXPECT_EQ(widget->geometry(), c.box);
    if (c.face == nullptr) {
        return;
    }
    const QFont font = widget->font();
    EXPECT_EQ(font.family(), QString::fromUtf8(c.face));
    EXPECT_DOUBLE_EQ(font.pointSizeF(), c.points);
    EXPECT_EQ(font.italic(), c.italic);
    // The heavy face is drawn heavy by whatever stands in for it.
    if (QFontInfo(font).family() == font.family() || qstrcmp(c.face, "Arial Black") != 0) {
        EXPECT_EQ(font.weight(), c.weight);
    } else {
        EXPECT_GE(font.weight(), QFont::Bold);
    }
}

INSTANTIATE_TEST_SUITE_P(DesignTable, MainWindowControl, ::testing::ValuesIn(kControls));

TEST(MainWindowLayout, dialGrid_sixColumnsTwoRowsNameBoxAboveDial) {
    FormModel model;
    MainWindow window(model);
    const int lefts[] = {480, 2040, 3600, 5160, 6720, 8280};
    const int nameTops[] = {1440, 3360};
    const int dialTops[] = {1800, 3720};
    for (int i = 0; i < kDialCount; ++i) {
        SCOPED_TRACE(i);
        const int col = i % 6;
        const int row = i / 6;
        EXPECT_EQ(control(window, QStringLiteral("Picture1_%1").arg(i))->geometry(),
                  fromTwips(lefts[col], dialTops[row], 1455, 1455));
        auto* name = control<TextBox>(window, QStringLiteral("Label5_%1").arg(i));
        EXPECT_EQ(name->geometry(), fromTwips(lefts[col], nameTops[row], 1455, 255));
        EXPECT_EQ(name->font().family(), QStringLiteral("ＭＳ ゴシック"));
        EXPECT_DOUBLE_EQ(name->font().pointSizeF(), 9);
        EXPECT_TRUE(name->isOpaque());
    }
}

TEST(MainWindowLayout, window_titleSizeFrameAndFont) {
    FormModel model;
    MainWindow window(model);
    EXPECT_EQ(window.windowTitle(),
              QStringLiteral("サーバ監視システム （改ざん\u3000侵入検査） V1.3"));
    EXPECT_EQ(window.size(), QSize(680, 520));
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(window.windowIcon().pixmap(32, 32).isNull());
    EXPECT_EQ(window.font().family(), QStringLiteral("Arial Black"));
    EXPECT_DOUBLE_EQ(window.font().pointSizeF(), 9);
    EXPECT_TRUE(window.font().italic());
}

TEST(MainWindowLayout, substitutedFaces_resolveToInstalledGothics) {
    FormModel model;
    MainWindow window(model);
    EXPECT_EQ(QFontInfo(control(window, QStringLiteral("Label5_0"))->font()).family(),
              QStringLiteral("IPAGothic"));
    EXPECT_EQ(QFontInfo(control(window, QStringLiteral("Label1"))->font()).family(),
              QStringLiteral("IPAPGothic"));
}

TEST(MainWindowLayout, startState_fixedTextsAndVisibility) {
    FormModel model;
    MainWindow window(model);
    window.show();
    struct Expected {
        const char* name;
        QString text;
        bool visible;
    };
    const Expected cases[] = {
        {"Label7", QStringLiteral("Kervo"), true},
        {"Label10", QStringLiteral("Reset Alarm"), false},
        {"Label8", QStringLiteral("  "), true},
        {"Label9", QStringLiteral("  "), true},
        {"Label6", QStringLiteral("円領域をクリックするとサーバにログインします"), true},
        {"Label1", QString(), true},
        {"Label2", QString(), true},
        {"Label3", QString(), true},
        {"Label4", QString(), true},
        {"Label11", MainWindow::noticeText(), true},
    };
    for (const Expected& e : cases) {
        SCOPED_TRACE(e.name);
        auto* label = control<TextBox>(window, QString::fromLatin1(e.name));
        EXPECT_EQ(label->text(), e.text);
        EXPECT_EQ(label->isVisible(), e.visible);
        EXPECT_FALSE(label->isOpaque());
    }
    EXPECT_EQ(control(window, QStringLiteral("Label10"))->palette().color(QPalette::WindowText),
              QColor(192, 0, 0));
    for (int i = 0; i < kDialCount; ++i) {
        EXPECT_FALSE(control(window, QStringLiteral("Picture1_%1").arg(i))->isVisible()) << i;
        EXPECT_TRUE(control(window, QStringLiteral("Label5_%1").arg(i))->isVisible()) << i;
    }
}

TEST(MainWindowLayout, menus_presentButNeverShown) {
    FormModel model;
    MainWindow window(model);
    window.show();
    auto* bar = control<QMenuBar>(window, QStringLiteral("menuBar"));
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(control<QMenu>(window, QStringLiteral("file"))->title(), QStringLiteral("ファイル"));
    EXPECT_EQ(control<QMenu>(window, QStringLiteral("edit"))->title(), QStringLiteral("編集"));
    EXPECT_EQ(window.fendAction()->text(), QStringLiteral("終了"));
    EXPECT_EQ(window.alarmResetAction()->text(), QStringLiteral("アラームリセット"));
}

TEST(MainWindowShape, roundedRectangle_cornersCutCentreAndEdgesKept) {
    const QRegion shape = MainWindow::windowShape();
    EXPECT_EQ(shape.boundingRect(), QRect(0, 0, 678, 519));
    struct Probe {
        QPoint at;
        bool inside;
    };
    const Probe probes[] = {
        {{0, 0}, false},     {{677, 0}, false},   {{0, 518}, false},  {{677, 518}, false},
        {{5, 5}, false},     {{672, 513}, false}, {{339, 259}, true}, {{24, 0}, true},
        {{653, 0}, true},    {{0, 24}, true},     {{677, 259}, true}, {{339, 518}, true},
        {{678, 259}, false}, {{339, 519}, false}, {{12, 12}, true},   {{665, 506}, true},
    };
    for (const Probe& p : probes) {
        EXPECT_EQ(shape.contains(p.at), p.inside) << p.at.x() << "," << p.at.y();
    }
}

TEST(MainWindowShape, window_isMaskedByTheShape) {
    FormModel model;
    MainWindow window(model);
    EXPECT_EQ(window.mask(), MainWindow::windowShape());
}

}  // namespace
