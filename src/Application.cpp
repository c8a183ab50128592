#include "Application.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>

#include "app/FormModel.h"
#include "app/Monitor.h"
#include "app/ProblemLog.h"
#include "dials/QtProcessStarter.h"
#include "mail/MailCheck.h"
#include "mail/pop/PopMailComponent.h"
#include "ui/MainWindow.h"
#include "ui/SoundBeeper.h"
#include "ui/WarningPresenter.h"

namespace kervo {

struct Application::Parts {
    FormModel form;
    ProblemLog log;
    SystemClock clock;
    SoundBeeper beeper;
    QtProcessStarter starter;
    std::unique_ptr<PopMailComponent> ownMailer;
    MailComponent* mailer;
    MainWindow window{form};
    WarningPresenter warnings{log, &window};
    Monitor monitor;
    QDir settingsDir;

    explicit Parts(Options& o)
        : ownMailer(o.mailer ? nullptr : std::make_unique<PopMailComponent>()),
          mailer(o.mailer ? o.mailer : ownMailer.get()),
          monitor(form, *mailer, Monitor::Seams{clock, beeper, starter, log},
                  o.mailFolder.isEmpty()
                      ? QCoreApplication::applicationDirPath() + QStringLiteral("/mail")
                      : o.mailFolder),
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
        const QString text = QStringLiteral("kervo: cannot start: %1\n").arg(*error);
        std::fputs(text.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
        // A box on a screen nobody sees would only hold the exit up.
        const QString platform = QGuiApplication::platformName();
        if (platform != u"offscreen" && platform != u"minimal") {
            WarningPresenter::showStartupError(*error);
        }
        return 2;
    }
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
