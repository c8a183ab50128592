#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// Every text the windows show that the program itself decides: what the operator reads, in one
// place. The report and rule texts come from the mails and the settings instead.
namespace kervo::screen {

inline QString windowTitle() {
    // An ideographic space (U+3000) between 改ざん and 侵入検査, ordinary spaces elsewhere.
    return QStringLiteral("サーバ監視システム （改ざん　侵入検査） V1.3");
}
inline QString productTitle() {
    return QStringLiteral("Kervo");
}
inline QString dialHint() {
    return QStringLiteral("円領域をクリックするとサーバにログインします");
}
inline QString resetAlarm() {
    return QStringLiteral("Reset Alarm");
}
// The minimise and close marks are drawn on the skin; their boxes hold two blanks.
inline QString hotSpot() {
    return QStringLiteral("  ");
}
inline QString fileMenu() {
    return QStringLiteral("ファイル");
}
inline QString quitCommand() {
    return QStringLiteral("終了");
}
inline QString editMenu() {
    return QStringLiteral("編集");
}
inline QString resetAlarmCommand() {
    return QStringLiteral("アラームリセット");
}
inline QString mailBodyTitle() {
    return QStringLiteral("BODY of mail");
}
// 戻, three ideographic spaces, る.
inline QString backButton() {
    return QStringLiteral("戻　　　る");
}

// The notice line at the lower right: its own text while all is well, otherwise the trouble.
inline QString noticeWhenWell() {
    return QStringLiteral("Ver 1.3");
}
inline QString pollFailed() {
    return QStringLiteral("受信エラー");
}
inline QString pollOverdue() {
    return QStringLiteral("受信遅延");
}
inline QString mailsWithheld(int count) {
    return QStringLiteral("未受信 %1通").arg(count);
}

// The clock line: the date in the desktop's short form, then the time, e.g. "2026/12/07 14:05:30"
// in a Japanese locale.
inline QString clockText(const QDateTime& now) {
    return QLocale().toString(now.date(), QLocale::ShortFormat) + u' ' +
           now.time().toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace kervo::screen
