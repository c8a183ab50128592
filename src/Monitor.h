#pragma once

#include <QDir>
#include <QImage>
#include <QObject>
#include <QString>
#include <memory>

#include "app/Result.h"
#include "settings/RuleBook.h"
#include "settings/Settings.h"

namespace kervo {

class Alarm;
class Beeper;
class Clock;
class Journal;
class MailCheck;
class MailPush;
class Mailbox;
class PollTimer;
class ProblemLog;
class ProcessStarter;
class WindowModel;

// The monitor without its widgets: the settings read once at the start, the alarm, the analysis
// of the reports, the consoles, and the polls with their tick, wired the way the program runs
// them. Everything it shows goes through the window's model.
class Monitor : public QObject {
    Q_OBJECT
  public:
    struct Seams {
        const Clock& clock;
        Beeper& beeper;
        ProcessStarter& starter;
        ProblemLog& log;
    };

    Monitor(WindowModel& window, Mailbox& mailbox, Seams seams, QObject* parent = nullptr);
    ~Monitor() override;

    // The journal every analysed report, alarm and reset is recorded in, given before the
    // start-up; without one nothing is recorded. The journal outlives the monitor.
    void useJournal(Journal& journal) { journal_ = &journal; }
    // The word of new mail between the ticks, given before the start-up; without one the mail
    // is fetched at the ticks only. Started with the account once the settings are read,
    // stopped before the monitor's parts go. The push outlives the monitor.
    void usePush(MailPush& push) { push_ = &push; }

    // The start-up: reads kervo.ini, its first pictures and server.ini from the folder, shows
    // the configured dials, starts the tick and the first poll at once. On a settings error
    // nothing has started and the error names the file and the line.
    Result<void, SettingsError> start(const QDir& settingsDir);
    // The rest of the start-up, on settings already read and their two pictures loaded.
    void begin(Settings settings, const QImage& background, const QImage& dial);

    // The operator's clicks. Before the start-up they do nothing. The reset acknowledges every
    // open alarm in the journal.
    void openConsole(int dial);
    void resetAlarm();

    // Open alarms an earlier run left in the journal, announced on the notice line until the
    // operator resets; 0 when none or without a journal.
    int openAlarmsFromEarlier() const { return openFromEarlier_; }
    // Alarms were acknowledged one by one in the history: the announcement counts again.
    void noteAcknowledged();

  Q_SIGNALS:
    // The journal's alarms changed: recorded, reset or acknowledged.
    void journalChanged();
    // A report matched a rule: one signal per rule, after the alarm is raised.
    void alarmRaised(const QString& server, const QString& message);

  public:
    // The parts, once started.
    const Settings& settings() const;
    Alarm& alarm();
    MailCheck& mailCheck();
    PollTimer& pollTimer();
    // A poll runs, or its reports are still being recorded and their mails marked analysed.
    bool isPolling() const;

  private:
    struct Parts;
    class RecordedMailbox;
    void afterAlarm(const ReportFindings& findings, const QString& subject, const QString& body,
                    const QString& mailFile);
    void showJournalRemark();
    void startPush();

    WindowModel& window_;
    Mailbox& mailbox_;
    Seams seams_;
    // Before the parts: their poll's worker may still use it while they go.
    std::unique_ptr<RecordedMailbox> recorded_;
    std::unique_ptr<Parts> parts_;
    Journal* journal_ = nullptr;
    MailPush* push_ = nullptr;
    bool pushStarted_ = false;
    int openFromEarlier_ = 0;
};

}  // namespace kervo
