#include "Application.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

#include "Monitor.h"
#include "OperatorDesk.h"
#include "app/ProblemLog.h"
#include "app/TextSafety.h"
#include "app/WindowModel.h"
#include "dials/SpawnProcessStarter.h"
#include "journal/Journal.h"
#include "journal/JournalPlace.h"
#include "mail/imap/ImapIdleWatcher.h"
#include "mail/imap/ImapMailbox.h"
#include "mail/pop/PopMailbox.h"
#include "mail/transport/ServerAddress.h"
#include "settings/Settings.h"
#include "ui/MainWindow.h"
#include "ui/SoundBeeper.h"
#include "ui/WarningPresenter.h"

namespace kervo {

namespace {

// Said once at the start: the two ways the mail password can leak that the settings, not the
// monitor, decide.
void warnAboutPasswordExposure(const QDir& settingsDir, const QString& mailServer,
                               ProblemLog& log) {
    const QString ini = settingsDir.absoluteFilePath(QString::fromUtf16(kKervoIni));
    struct stat info {};
    if (::stat(QFile::encodeName(ini).constData(), &info) == 0 &&
        (info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        log.report(QStringLiteral("warning: %1 holds the mail password and can be read by other "
                                  "users; make it readable by its owner only: chmod 600 %1")
                       .arg(QDir::toNativeSeparators(ini)));
    }
    const Result<ServerAddress> parsed = parseServerAddress(mailServer);
    const ServerAddress* address = parsed.ok() ? &parsed.value() : nullptr;
    if (address != nullptr && address->tls == MailTls::None && address->auth != MailAuth::Apop) {
        const bool imap = address->protocol == MailProtocol::Imap;
        log.report(
            QStringLiteral("warning: the mail password may cross the network in clear text to %1; "
                           "write line 6 of %2 as %3")
                .arg(address->display(), QString::fromUtf16(kKervoIni),
                     imap ? QStringLiteral("imaps://host or imap+stls://host")
                          : QStringLiteral("pop3s://host or pop3+stls://host, or add ?auth=apop")));
    }
}

// The mailbox of line 6: POP3 or IMAP, as the address says at each poll. Both save into the one
// mail folder, whose operations (reading, marking analysed, the purge) they share.
class MailServerMailbox final : public Mailbox {
  public:
    explicit MailServerMailbox(const QString& folder) : pop_(folder), imap_(folder) {}

    FetchOutcome fetchAll(const MailAccount& account, const SavedMails& saved) override {
        const Result<ServerAddress> parsed = parseServerAddress(account.server);
        const bool imap = parsed.ok() && parsed.value().protocol == MailProtocol::Imap;
        // A line that does not parse goes to either; both report it the same way.
        return imap ? imap_.fetchAll(account, saved) : pop_.fetchAll(account, saved);
    }
    Result<ReportText> readReport(const QString& file) override { return pop_.readReport(file); }
    void markAnalysed(const QString& file) override { pop_.markAnalysed(file); }
    void purgeAnalysed() override { pop_.purgeAnalysed(); }

  private:
    PopMailbox pop_;
    ImapMailbox imap_;
};

}  // namespace

struct Application::Parts {
    WindowModel model;
    ProblemLog log;
    SystemClock clock;
    SoundBeeper beeper;
    SpawnProcessStarter starter;
    QString mailFolder;
    std::unique_ptr<MailServerMailbox> ownMailbox;
    Mailbox* mailbox;
    // Before the monitor, which stops it as it goes.
    std::unique_ptr<ImapIdleWatcher> ownPush;
    MailPush* push;
    Journal journal;
    MainWindow window{model};
    WarningPresenter warnings{log, &window};
    Monitor monitor;
    QDir settingsDir;
    OperatorDesk desk{monitor, window, model, journal, clock};

    explicit Parts(Options& o)
        : mailFolder(o.mailFolder.isEmpty()
                         ? QCoreApplication::applicationDirPath() + QStringLiteral("/mail")
                         : o.mailFolder),
          ownMailbox(o.mailbox ? nullptr : std::make_unique<MailServerMailbox>(mailFolder)),
          mailbox(o.mailbox ? o.mailbox : ownMailbox.get()),
          ownPush(o.push ? nullptr : std::make_unique<ImapIdleWatcher>()),
          push(o.push ? o.push : ownPush.get()),
          journal(o.journalFile.isEmpty() ? journalPath() : o.journalFile,
                  journalRetentionDays(log), clock, log),
          monitor(model, *mailbox, Monitor::Seams{clock, beeper, starter, log}),
          settingsDir(o.settingsDir) {}
};

Application::Application(Options options) : parts_(std::make_unique<Parts>(options)) {
    Parts& p = *parts_;
    if (options.keepJournal) {
        p.monitor.useJournal(p.journal);
    }
    p.monitor.usePush(*p.push);
    QObject::connect(&p.window, &MainWindow::dialClicked, &p.monitor, &Monitor::openConsole);
    QObject::connect(&p.window, &MainWindow::resetAlarmRequested, &p.monitor, &Monitor::resetAlarm);
    QObject::connect(&p.window, &MainWindow::quitRequested, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
}

Application::~Application() = default;

std::optional<int> Application::start() {
    Parts& p = *parts_;
    if (const Result<void, SettingsError> started = p.monitor.start(p.settingsDir); !started.ok()) {
        const QString error = started.error().toText();
        const QString text = QStringLiteral("kervo: cannot start: %1\n").arg(oneLine(error));
        std::fputs(text.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
        // A box on a screen nobody sees would only hold the exit up.
        const QString platform = QGuiApplication::platformName();
        if (platform != u"offscreen" && platform != u"minimal") {
            WarningPresenter::showStartupError(error);
        }
        return 2;
    }
    warnAboutPasswordExposure(p.settingsDir, p.monitor.settings().mailServer, p.log);
    p.window.show();
    p.desk.started();
    return std::nullopt;
}

WindowModel& Application::model() {
    return parts_->model;
}
MainWindow& Application::window() {
    return parts_->window;
}
Monitor& Application::monitor() {
    return parts_->monitor;
}
OperatorDesk& Application::desk() {
    return parts_->desk;
}
bool Application::pollInFlight() const {
    return parts_->monitor.isPolling();
}

}  // namespace kervo
