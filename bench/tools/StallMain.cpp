// How long the interface thread's event loop stands still while a big poll runs. The whole
// monitor runs (offscreen window included); once its start-up poll of the empty mailbox is over,
// the prepared reports are put into the mailbox and one CheckMail fetches and analyses them,
// while a precise 5 ms timer measures how late each of its ticks comes.
//   kervo_bench_stall settings=DIR folder=DIR templates=DIR maildir=DIR mails=N
//                     [period-ms=5] [slice-ms=M] [limit-s=600]
// slice-ms changes how long one slice of the analysis may run (the program's own budget when
// absent), to show how the stalls follow it.
#include <QApplication>
#include <QDir>
#include <atomic>
#include <cstdio>

#include "Application.h"
#include "app/Monitor.h"
#include "mail/MailCheck.h"
#include "mail/pop/PopMailComponent.h"
#include "support/BenchSupport.h"
#include "support/CountingMailer.h"
#include "support/MailboxFill.h"
#include "support/StallProbe.h"
#include "ui/Fonts.h"

using namespace kervo;
using namespace kervo::bench;

namespace {

enum Phase { kFetch = 0, kAnalysis = 1, kPhases = 2 };

int fail(const QString& text) {
    std::fprintf(stderr, "kervo_bench_stall: %s\n", text.toLocal8Bit().constData());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    installFontSubstitutions();
    QString error;
    const std::optional<Arguments> args = Arguments::parse(
        app.arguments().mid(1),
        {QStringLiteral("settings"), QStringLiteral("folder"), QStringLiteral("templates"),
         QStringLiteral("maildir"), QStringLiteral("mails"), QStringLiteral("period-ms"),
         QStringLiteral("slice-ms"), QStringLiteral("limit-s")},
        error);
    if (!args) {
        return fail(error);
    }
    const qint64 mails = args->number(QStringLiteral("mails"), 0).value_or(0);
    const int period = static_cast<int>(args->number(QStringLiteral("period-ms"), 5).value_or(5));
    const int limitMs =
        static_cast<int>(args->number(QStringLiteral("limit-s"), 600).value_or(600) * 1000);
    MailboxFill fill(args->text(QStringLiteral("templates")),
                     args->text(QStringLiteral("maildir")));
    if (error = fill.load(); !error.isEmpty() || mails <= 0 || period <= 0) {
        return fail(error.isEmpty() ? QStringLiteral("mails= and period-ms= must be positive")
                                    : error);
    }

    PopMailComponent pop;
    CountingMailer mailer(pop);
    Application::Options options;
    options.settingsDir = QDir(args->text(QStringLiteral("settings")));
    options.mailFolder = args->text(QStringLiteral("folder"));
    options.mailer = &mailer;
    Application monitor(options);
    if (monitor.start()) {
        return fail(QStringLiteral("the monitor did not start"));
    }
    MailCheck& check = monitor.monitor().mailCheck();
    const qint64 slice = args->number(QStringLiteral("slice-ms"), 0).value_or(0);
    if (slice > 0) {
        check.setSliceBudgetMs(static_cast<int>(slice));
    }
    if (!waitUntil([&] { return !check.isPolling(); }, limitMs)) {
        return fail(QStringLiteral("the start-up poll did not end"));
    }
    if (error = fill.deposit(mails); !error.isEmpty()) {
        return fail(error);
    }

    StallProbe probe(period, kPhases);
    QString pollError;
    bool finished = false;
    // Set by the worker thread when it starts reading the fetched mails.
    std::atomic<qint64> analysisStart{0};
    mailer.onFirstRead = [&] {
        probe.setPhase(kAnalysis);
        analysisStart = monotonicNs();
    };
    QObject::connect(&check, &MailCheck::pollFinished, &app, [&](const QString& text) {
        pollError = text;
        finished = true;
    });
    const qint64 readsBefore = mailer.reads();
    // The 30-second tick may have started a poll meanwhile; the measured one starts after it.
    if (!waitUntil([&] { return !check.isPolling(); }, limitMs)) {
        return fail(QStringLiteral("a timer poll did not end"));
    }
    finished = false;
    const qint64 start = monotonicNs();
    probe.start();
    if (!check.CheckMail()) {
        return fail(QStringLiteral("the poll did not start"));
    }
    const bool ended = waitUntil([&] { return finished; }, limitMs);
    probe.stop();
    const qint64 end = monotonicNs();
    if (!ended || !pollError.isEmpty()) {
        return fail(ended ? pollError : QStringLiteral("the poll did not end in time"));
    }
    const StallLedger& ledger = probe.ledger();
    const Summary analysis = ledger.summary(kAnalysis);
    const double analysisSeconds =
        analysisStart > 0 ? static_cast<double>(end - analysisStart) / 1e9 : 0.0;
    printResult(
        QStringLiteral("stall"),
        {{QStringLiteral("mails"), QString::number(mailer.reads() - readsBefore)},
         {QStringLiteral("period_ms"), QString::number(period)},
         {QStringLiteral("slice_ms"),
          slice > 0 ? QString::number(slice) : QStringLiteral("default")},
         {QStringLiteral("poll_s"), fixed(static_cast<double>(end - start) / 1e9)},
         {QStringLiteral("fetch_s"),
          fixed(analysisStart > 0 ? static_cast<double>(analysisStart - start) / 1e9 : 0.0)},
         {QStringLiteral("analysis_s"), fixed(analysisSeconds)},
         {QStringLiteral("max_ms"), fixed(ledger.maxStallMs(), 1)},
         {QStringLiteral("fetch_max_ms"), fixed(ledger.maxStallMs(kFetch), 1)},
         {QStringLiteral("analysis_max_ms"), fixed(ledger.maxStallMs(kAnalysis), 1)},
         {QStringLiteral("analysis_p99_ms"), fixed(analysis.p99, 1)},
         {QStringLiteral("analysis_median_ms"), fixed(analysis.median, 1)},
         {QStringLiteral("ticks"), QString::number(ledger.ticks(kFetch) + ledger.ticks(kAnalysis))},
         {QStringLiteral("over16"),
          QString::number(ledger.stallsOver(kFetch, 16) + ledger.stallsOver(kAnalysis, 16))},
         {QStringLiteral("over50"),
          QString::number(ledger.stallsOver(kFetch, 50) + ledger.stallsOver(kAnalysis, 50))}});
    std::fflush(nullptr);
    std::_Exit(0);  // the monitor's own teardown is not what is measured
}
