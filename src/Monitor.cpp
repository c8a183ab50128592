#include "Monitor.h"

#include "alarm/Alarm.h"
#include "alarm/ReportAnalysis.h"
#include "app/Pictures.h"
#include "app/ProblemLog.h"
#include "app/ScreenTexts.h"
#include "app/Seams.h"
#include "app/WindowModel.h"
#include "dials/ConsoleLaunch.h"
#include "dials/DialHands.h"
#include "journal/Journal.h"
#include "mail/MailCheck.h"
#include "mail/MailPush.h"
#include "mail/PollTimer.h"

namespace kervo {

namespace {

// How long a new fetch waits for the last poll's mails to be marked analysed.
constexpr int kMarksWaitMs = 10000;

}  // namespace

// The mailbox as the mail check sees it while a journal records the reports: a mail is marked
// analysed only once its report is written (so that a crash between the two loses no record),
// and a fetch first waits for the marks of the poll before, so that it does not hand out again
// a mail whose mark is still on its way.
class Monitor::RecordedMailbox final : public Mailbox {
  public:
    RecordedMailbox(Mailbox& inner, Journal& journal) : inner_(inner), journal_(journal) {}

    FetchOutcome fetchAll(const MailAccount& account, const SavedMails& saved) override {
        (void)journal_.waitUntilWritten(kMarksWaitMs);
        return inner_.fetchAll(account, saved);
    }
    Result<ReportText> readReport(const QString& file) override { return inner_.readReport(file); }
    void markAnalysed(const QString& file) override {
        // The mailbox, not this wrapper: the journal may outlive the monitor.
        journal_.afterRecorded([&inner = inner_, file] { inner.markAnalysed(file); });
    }
    void purgeAnalysed() override { inner_.purgeAnalysed(); }

  private:
    Mailbox& inner_;
    Journal& journal_;
};

struct Monitor::Parts {
    Settings settings;
    PictureSource pictures;
    Alarm alarm;
    ReportAnalysis analysis;
    ConsoleLauncher consoles;
    MailCheck check;
    PollTimer pollTimer;

    Parts(Settings read, WindowModel& window, Mailbox& mailbox, const Seams& seams)
        : settings(std::move(read)),
          pictures(seams.log),
          alarm(window, pictures, seams.beeper, seams.log,
                {settings.backgroundPicture, settings.alarmBackgroundPicture, settings.dialPicture,
                 settings.dialAlarmPicture}),
          analysis(settings, window, seams.clock, alarm),
          consoles(settings, seams.starter, seams.log),
          check(mailbox, {settings.mailServer, settings.mailUser, settings.mailPassword},
                analysis.rules(), window, seams.clock, seams.log),
          pollTimer(window, seams.clock, check, mailbox, settings.purgeLimit) {}
};

Monitor::Monitor(WindowModel& window, Mailbox& mailbox, Seams seams, QObject* parent)
    : QObject(parent), window_(window), mailbox_(mailbox), seams_(seams) {}

Monitor::~Monitor() {
    // First, while everything its callbacks reach still stands. What they posted and has not
    // been handled yet is dropped with this object.
    if (pushStarted_) {
        push_->stop();
    }
}

Result<void, SettingsError> Monitor::start(const QDir& settingsDir) {
    Result<LoadedSettings, SettingsError> read = readSettings(settingsDir);
    if (!read.ok()) {
        return read.error();
    }
    LoadedSettings loaded = std::move(read).value();
    begin(std::move(loaded.settings), loaded.background, loaded.dial);
    return {};
}

void Monitor::begin(Settings settings, const QImage& background, const QImage& dial) {
    // The journal first: the start-up poll's reports are recorded too.
    if (journal_ != nullptr) {
        journal_->start();
    }
    // Only now that everything is known to be good does the window change.
    for (int i = 0; i < kDialCount; ++i) {
        window_.setDialVisible(i, false);
        window_.setDialPicture(i, dial);
    }
    window_.setBackgroundPicture(background);
    for (size_t k = 0; k < settings.servers.size(); ++k) {
        window_.setDialVisible(static_cast<int>(k), true);
        window_.setDialCaption(static_cast<int>(k), settings.servers[k].name.toText());
    }

    if (journal_ != nullptr) {
        recorded_ = std::make_unique<RecordedMailbox>(mailbox_, *journal_);
    }
    parts_ = std::make_unique<Parts>(std::move(settings), window_,
                                     recorded_ ? *recorded_ : mailbox_, seams_);
    Parts& p = *parts_;
    // Every configured dial marks the poll with a grey hand before any report of it is shown.
    connect(&p.check, &MailCheck::fetched, this, [this] {
        for (size_t i = 0; i < parts_->settings.servers.size(); ++i) {
            drawMinuteHand(window_, seams_.clock, static_cast<int>(i), kPollHandColour);
        }
    });
    connect(&p.check, &MailCheck::reportRead, this,
            [this](const QString& subject, const QString& body, const ReportFindings& findings,
                   const QString& mailFile) {
                // The alarm first: the journal never stands between a report and its alarm.
                parts_->analysis.show(findings, subject, body);
                afterAlarm(findings, subject, body, mailFile);
            });
    if (journal_ != nullptr) {
        openFromEarlier_ = journal_->openAlarmCount();
        connect(journal_, &Journal::troubleChanged, this, &Monitor::showJournalRemark);
        // The write-ahead log is copied into the file after each poll, off this thread.
        connect(&p.check, &MailCheck::pollFinished, journal_, &Journal::startUpkeep);
        showJournalRemark();
        if (openFromEarlier_ > 0) {
            seams_.log.report(QStringLiteral("%1 alarm(s) of an earlier run were never "
                                             "acknowledged; they are listed first in the history")
                                  .arg(openFromEarlier_));
        }
    }
    p.pollTimer.start();
    // The first poll runs behind the window: it appears at once, the mail comes when it comes.
    (void)p.check.start();
    startPush();
}

// The push calls back from a thread of its own: each word is handed to the interface thread,
// queued to this object, so that it is dropped, not run, once this object is gone.
void Monitor::startPush() {
    if (push_ == nullptr) {
        return;
    }
    MailPush::Listener listener;
    listener.mailArrived = [this] {
        QMetaObject::invokeMethod(
            this, [this] { parts_->check.onMailArrived(); }, Qt::QueuedConnection);
    };
    listener.stateChanged = [this](const PushState& state) {
        QMetaObject::invokeMethod(
            this, [this, state] { parts_->check.onPushState(state); }, Qt::QueuedConnection);
    };
    const Settings& s = parts_->settings;
    push_->start({s.mailServer, s.mailUser, s.mailPassword}, std::move(listener));
    pushStarted_ = true;
}

void Monitor::openConsole(int dial) {
    if (parts_) {
        parts_->consoles.openConsole(dial);
    }
}

void Monitor::resetAlarm() {
    if (!parts_) {
        return;
    }
    parts_->alarm.reset();
    if (journal_ != nullptr) {
        journal_->acknowledgeOpen(Journal::operatorName());
        openFromEarlier_ = 0;
        showJournalRemark();
        Q_EMIT journalChanged();
    }
}

void Monitor::noteAcknowledged() {
    if (journal_ != nullptr) {
        openFromEarlier_ = std::min(openFromEarlier_, journal_->openAlarmCount());
        showJournalRemark();
    }
}

// What follows a report's alarm: the word to the desktop, and its record in the journal, before
// the mail is marked analysed.
void Monitor::afterAlarm(const ReportFindings& findings, const QString& subject,
                         const QString& body, const QString& mailFile) {
    const Settings& settings = parts_->settings;
    ReportRecord report{mailFile, seams_.clock.now(), findings.dial, QString(), subject, body, {}};
    if (const auto server = static_cast<size_t>(findings.dial); server < settings.servers.size()) {
        report.server = settings.servers[server].name.toText();
    }
    for (const int rule : findings.matchedRules) {
        const AlarmRule& matched = settings.rules.at(static_cast<size_t>(rule));
        report.hits.push_back({rule, matched.tag.toText(), matched.message});
    }
    for (const RuleHit& hit : report.hits) {
        Q_EMIT alarmRaised(report.server, hit.message);
    }
    if (journal_ != nullptr) {
        const bool alarmed = !report.hits.empty();
        journal_->record(std::move(report));  // handed over, not copied: this runs for every mail
        if (alarmed) {
            Q_EMIT journalChanged();
        }
    }
}

void Monitor::showJournalRemark() {
    QString remark;
    if (journal_ != nullptr && journal_->inTrouble()) {
        remark = screen::journalFailed();
    } else if (openFromEarlier_ > 0) {
        remark = screen::openAlarmsFromEarlier(openFromEarlier_);
    }
    parts_->check.notice().setRemark(remark);
}

const Settings& Monitor::settings() const {
    return parts_->settings;
}
Alarm& Monitor::alarm() {
    return parts_->alarm;
}
MailCheck& Monitor::mailCheck() {
    return parts_->check;
}
PollTimer& Monitor::pollTimer() {
    return parts_->pollTimer;
}
bool Monitor::isPolling() const {
    return parts_ && (parts_->check.isPolling() || (journal_ != nullptr && journal_->isWriting()));
}

}  // namespace kervo
