#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

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
// The connection that tells of new mail between polls is lost; the next attempt in seconds.
inline QString pushReconnecting(int seconds) {
    return QStringLiteral("IMAP再接続待ち %1秒").arg(seconds);
}
inline QString mailsWithheld(int count) {
    return QStringLiteral("未受信 %1通").arg(count);
}

// The notice line's remarks of the journal: it cannot be written, or alarms an earlier run left
// unacknowledged wait in the history.
inline QString journalFailed() {
    return QStringLiteral("履歴記録エラー");
}
inline QString openAlarmsFromEarlier(int count) {
    return QStringLiteral("未確認アラーム %1件").arg(count);
}

// The history window, its context-menu command on the main window and the tray's menu.
inline QString historyCommand() {
    return QStringLiteral("アラーム履歴");
}
inline QString historyTitle() {
    return QStringLiteral("アラーム履歴");
}
inline QString showWindowCommand() {
    return QStringLiteral("監視画面を表示");
}
inline QString allServers() {
    return QStringLiteral("全サーバ");
}
inline QString historyFilterHint() {
    return QStringLiteral("件名・メッセージで絞り込み");
}
inline QString last24Hours() {
    return QStringLiteral("24時間（1時間ごと）");
}
inline QString last30Days() {
    return QStringLiteral("30日（1日ごと）");
}
inline QStringList historyColumns() {
    return {QStringLiteral("時刻"), QStringLiteral("サーバ"), QStringLiteral("メッセージ"),
            QStringLiteral("件名"), QStringLiteral("確認")};
}
inline QString unacknowledged() {
    return QStringLiteral("未確認");
}
inline QString acknowledgedBy(const QDateTime& at, const QString& by, const QString& comment) {
    QString text = at.toString(QStringLiteral("yyyy-MM-dd HH:mm")) + u' ' + by;
    if (!comment.isEmpty()) {
        text += QStringLiteral("：") + comment;
    }
    return text;
}
inline QString commentHint() {
    return QStringLiteral("コメント（任意）");
}
inline QString acknowledgeCommand() {
    return QStringLiteral("確認済みにする");
}
inline QString reportCut() {
    return QStringLiteral("（以下省略）");
}
inline QString chartLegend() {
    return QStringLiteral("灰: レポート数　赤: アラーム数");
}
// The tray icon's tool tip, and the desktop notification of an alarm.
inline QString trayCalm() {
    return QStringLiteral("Kervo: 正常");
}
inline QString trayAlarm() {
    return QStringLiteral("Kervo: アラーム");
}
inline QString trayPollFailing() {
    return QStringLiteral("Kervo: 受信エラー");
}
inline QString notificationTitle(const QString& server) {
    return QStringLiteral("アラーム: %1").arg(server);
}

// The clock line: the date in the desktop's short form, then the time, e.g. "2026/12/07 14:05:30"
// in a Japanese locale.
inline QString clockText(const QDateTime& now) {
    return QLocale().toString(now.date(), QLocale::ShortFormat) + u' ' +
           now.time().toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace kervo::screen
