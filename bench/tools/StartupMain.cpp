// From process start to the main window on screen. Builds the monitor exactly as the program's
// main() does (settings from the current folder, the POP3 component, the mail folder beside the
// executable) and ends at the window's first paint. The driver passes the moment it started the
// process as KERVO_BENCH_T0 (CLOCK_MONOTONIC, ns), so the figure includes loading the program.
//   kervo_bench_startup [limit-s=30]
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "Application.h"
#include "support/BenchSupport.h"
#include "ui/Fonts.h"
#include "ui/MainWindow.h"

using namespace kervo;
using namespace kervo::bench;

namespace {

// Notes the first show and the first paint of the watched window.
class FirstPaint final : public QObject {
  public:
    qint64 shownNs = 0;
    qint64 paintedNs = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && shownNs == 0) {
            shownNs = monotonicNs();
        } else if (event->type() == QEvent::Paint && paintedNs == 0) {
            paintedNs = monotonicNs();
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }
};

double msBetween(qint64 fromNs, qint64 toNs) {
    return static_cast<double>(toNs - fromNs) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const qint64 mainNs = monotonicNs();
    const qint64 spawnNs = qgetenv("KERVO_BENCH_T0").toLongLong();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kervo"));
    installFontSubstitutions();
    QString error;
    const std::optional<Arguments> args =
        Arguments::parse(app.arguments().mid(1), {QStringLiteral("limit-s")}, error);
    if (!args) {
        std::fprintf(stderr, "kervo_bench_startup: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    const qint64 appNs = monotonicNs();
    kervo::Application monitor({});
    FirstPaint watch;
    monitor.window().installEventFilter(&watch);
    if (const std::optional<int> failed = monitor.start()) {
        return *failed;
    }
    const qint64 startedNs = monotonicNs();
    const int limitMs =
        static_cast<int>(args->number(QStringLiteral("limit-s"), 30).value_or(30) * 1000);
    QTimer::singleShot(limitMs, &app, &QCoreApplication::quit);
    QApplication::exec();
    if (watch.paintedNs == 0) {
        std::fprintf(stderr, "kervo_bench_startup: the window was not painted in time\n");
        std::fflush(nullptr);
        std::_Exit(1);
    }
    printResult(
        QStringLiteral("startup"),
        {{QStringLiteral("process_ms"),
          spawnNs > 0 ? fixed(msBetween(spawnNs, watch.paintedNs), 1) : QStringLiteral("-")},
         {QStringLiteral("exec_to_main_ms"),
          spawnNs > 0 ? fixed(msBetween(spawnNs, mainNs), 1) : QStringLiteral("-")},
         {QStringLiteral("main_ms"), fixed(msBetween(mainNs, watch.paintedNs), 1)},
         {QStringLiteral("qapp_ms"), fixed(msBetween(mainNs, appNs), 1)},
         {QStringLiteral("form_load_ms"), fixed(msBetween(appNs, startedNs), 1)},
         {QStringLiteral("shown_ms"), fixed(msBetween(mainNs, watch.shownNs), 1)},
         {QStringLiteral("poll_in_flight"),
          monitor.pollInFlight() ? QStringLiteral("1") : QStringLiteral("0")}});
    // As the program ends: a fetch still running is abandoned, never waited for.
    std::fflush(nullptr);
    std::_Exit(0);
}
