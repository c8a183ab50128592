#include "Application.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

#include "app/FormModel.h"
#include "app/Monitor.h"
#include "app/ProblemLog.h"
#include "app/TextSafety.h"
#include "dials/QtProcessStarter.h"
#include "mail/MailCheck.h"
#include "mail/pop/PopMailbox.h"
#include "mail/pop/ServerAddress.h"
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
    if (address != nullptr && address->tls == PopTls::None && address->auth != PopAuth::Apop) {
        log.report(
            QStringLiteral("warning: the mail password may cross the network in clear text to %1; "
                           "write line 6 of %2 as pop3s://host or pop3+stls://host, or add "
                           "?auth=apop")
                .arg(address->display(), QString::fromUtf16(kKervoIni)));
    }
}

}  // namespace

struct Application::Parts {
    FormModel form;
    ProblemLog log;
    SystemClock clock;
    SoundBeeper beeper;
    QtProcessStarter starter;
    QString mailFolder;
    std::unique_ptr<PopMailbox> ownMailer;
    Mailbox* mailer;
    MainWindow window{form};
    WarningPresenter warnings{log, &window};
    Monitor monitor;
    QDir settingsDir;

    explicit Parts(Options& o)
        : mailFolder(o.mailFolder.isEmpty()
                         ? QCoreApplication::applicationDirPath() + QStringLiteral("/mail")
                         : o.mailFolder),
          ownMailer(o.mailer ? nullptr : std::make_unique<PopMailbox>(mailFolder)),
          mailer(o.mailer ? o.mailer : ownMailer.get()),
          monitor(form, *mailer, Monitor::Seams{clock, beeper, starter, log}, mailFolder),
          settingsDir(o.settingsDir) {}
};

Application::Application(Options options) : parts_(std::make_unique<Parts>(options)) {
    Parts& p = *parts_;
    QObject::connect(&p.window, &MainWindow::dialClicked, &p.monitor, &Monitor::Picture1_Click);
    QObject::connect(&p.window, &MainWindow::label10Clicked, &p.monitor, &Monitor::Label10_Click);
    QObject::connect(&p.window, &MainWindow::alarmResetChosen, &p.monitor,
                     &Monitor::alarm_reset_Click);
    QObject::connect(&p.window, &MainWindow::endRequested, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
}

Application::~Application() = default;

std::optional<int> Application::start() {
    Parts& p = *parts_;
    if (const std::optional<QString> error = p.monitor.Form_Load(p.settingsDir)) {
        const QString text = QStringLiteral("kervo: cannot start: %1\n").arg(oneLine(*error));
        std::fputs(text.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
        // A box on a screen nobody sees would only hold the exit up.
        const QString platform = QGuiApplication::platformName();
        if (platform != u"offscreen" && platform != u"minimal") {
            WarningPresenter::showStartupError(*error);
        }
        return 2;
    }
    warnAboutPasswordExposure(p.settingsDir, p.monitor.state().mailServer, p.log);
    p.window.show();
    return std::nullopt;
}

FormModel& Application::form() {
    return parts_->form;
}
MainWindow& Application::window() {
    return parts_->window;
}
Monitor& Application::monitor() {
    return parts_->monitor;
}
bool Application::pollInFlight() const {
    return parts_->monitor.mailCheck().isPolling();
}

}  // namespace kervo
