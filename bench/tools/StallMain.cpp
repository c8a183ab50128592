// How long the interface thread's event loop stands still while a big poll runs. The whole
// monitor runs (offscreen window included); once its start-up poll of the empty mailbox is over,
// the prepared reports are put into the mailbox and one poll fetches and analyses them,
// while a precise 5 ms timer measures how late each of its ticks comes.
//   kervo_bench_stall settings=DIR folder=DIR templates=DIR maildir=DIR mails=N
//                     [big=DIR] [period-ms=5] [slice-ms=M] [limit-s=600] [journal=FILE|off]
// slice-ms changes how long one slice of the analysis may run (the program's own budget when
// absent), to show how the stalls follow it. big names a folder of prepared huge reports, each
// put once into the middle of the poll; the tool says whether each raised its alarm (told by its
// subject, the text the alarm shows first). journal names the journal file the poll records
// into (default: beside the mail folder); off runs without one, to show what the journal costs.
// For the longest stall the tool also prints how much of it the interface thread spent running
// its own code (max_busy_ms) and how much at least it stood ready but not running, or blocked
// (max_wait_ms), and how often the kernel took the processor from it meanwhile; analysis_ui_*
// are the interface thread's own processor time and preemptions over the whole analysis.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include "Application.h"
#include "Monitor.h"
#include "app/WindowModel.h"
#include "mail/MailCheck.h"
#include "mail/mime/HeaderDecoding.h"
#include "mail/mime/MimeReader.h"
#include "mail/pop/PopMailbox.h"
#include "support/BenchSupport.h"
#include "support/CountingMailer.h"
#include "support/MailboxFill.h"
#include "support/StallProbe.h"
#include "ui/Fonts.h"

using namespace kervo;
using namespace kervo::bench;

namespace {

// Processor seconds of each thread of this process so far, the busiest first, as
// "name/tid:seconds,...": what each part of the monitor costs, told apart by thread name.
QString threadSeconds() {
    std::vector<std::pair<double, QString>> threads;
    const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(tid + QStringLiteral("/stat")));
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (!stat.open(QIODevice::ReadOnly) || !comm.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray line = stat.readAll();
        // The fields after the name in parentheses; utime and stime are the 12th and 13th.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 13) {
            continue;
        }
        const double seconds = (fields[11].toDouble() + fields[12].toDouble()) / tick;
        const QString name = QString::fromUtf8(comm.readAll().trimmed()).replace(u' ', u'_');
        threads.emplace_back(seconds, name + u'/' + tid);
    }
    std::sort(threads.begin(), threads.end(), [](const auto& a, const auto& b) { return a > b; });
    QStringList parts;
    for (const auto& [seconds, name] : threads) {
        if (seconds > 0) {
            parts << name + u':' + fixed(seconds, 2);
        }
    }
    return parts.join(u',');
}

enum Phase { kFetch = 0, kAnalysis = 1, kPhases = 2 };

int fail(const QString& text) {
    std::fprintf(stderr, "kervo_bench_stall: %s\n", text.toLocal8Bit().constData());
    return 1;
}

// The decoded subjects of the prepared huge reports, and their total size.
QSet<QString> subjectsIn(const QString& folder, qint64& bytes) {
    QSet<QString> subjects;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly)) {
            bytes += file.size();
            const auto raw = mime::findRawHeader(file.read(1 << 20), QStringLiteral("subject"));
            subjects.insert(raw ? decodeHeaderValue(*raw) : QString());
        }
    }
    return subjects;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    installFontSubstitutions();
    QString error;
    const std::optional<Arguments> args = Arguments::parse(
        app.arguments().mid(1),
        {QStringLiteral("settings"), QStringLiteral("folder"), QStringLiteral("templates"),
         QStringLiteral("maildir"), QStringLiteral("mails"), QStringLiteral("big"),
         QStringLiteral("period-ms"), QStringLiteral("slice-ms"), QStringLiteral("limit-s"),
         QStringLiteral("journal")},
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

    const QString bigDir = args->text(QStringLiteral("big"));
    MailboxFill bigFill(bigDir, args->text(QStringLiteral("maildir")));
    qint64 bigBytes = 0;
    QSet<QString> bigSubjects;
    if (!bigDir.isEmpty()) {
        if (error = bigFill.load(); !error.isEmpty()) {
            return fail(error);
        }
        bigSubjects = subjectsIn(bigDir, bigBytes);
    }

    Application::Options options;
    options.settingsDir = QDir(args->text(QStringLiteral("settings")));
    options.mailFolder = args->text(QStringLiteral("folder"));
    const QString journal = args->text(QStringLiteral("journal"));
    options.keepJournal = journal != u"off";
    options.journalFile = journal.isEmpty() || journal == u"off"
                              ? options.mailFolder + QStringLiteral("-journal.sqlite")
                              : journal;
    PopMailbox pop(options.mailFolder);
    CountingMailer mailer(pop);
    options.mailbox = &mailer;
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
    if (error = fill.deposit(mails / 2); !error.isEmpty()) {
        return fail(error);
    }
    if (!bigDir.isEmpty()) {
        if (error = bigFill.deposit(bigFill.available()); !error.isEmpty()) {
            return fail(error);
        }
    }
    if (error = fill.deposit(mails - mails / 2); !error.isEmpty()) {
        return fail(error);
    }
    // An alarm shows the report's subject first; a huge report's own subject tells its alarm.
    int bigAlarms = 0;
    QObject::connect(&monitor.model(), &WindowModel::alarmSubjectChanged, &app,
                     [&](const QString& subject) {
                         if (bigSubjects.contains(subject)) {
                             ++bigAlarms;
                         }
                     });

    StallProbe probe(period, kPhases);
    QString pollError;
    bool finished = false;
    // Set by the worker thread when it starts reading the fetched mails.
    std::atomic<qint64> analysisStart{0};
    std::atomic<double> analysisCpuStart{0.0};
    mailer.onFirstRead = [&] {
        probe.setPhase(kAnalysis);
        analysisStart = monotonicNs();
        analysisCpuStart = cpuSeconds();
    };
    QObject::connect(&check, &MailCheck::pollFinished, &app, [&] {
        pollError = check.lastPoll().ok() ? QString() : check.lastPoll().error().message;
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
    if (!check.start()) {
        return fail(QStringLiteral("the poll did not start"));
    }
    const bool ended = waitUntil([&] { return finished; }, limitMs);
    probe.stop();
    const qint64 end = monotonicNs();
    const double analysisCpu = cpuSeconds() - analysisCpuStart;
    // The processor time until the journal has written the poll's last record too: work the
    // writer leaves for after the analysis is still its cost.
    (void)waitUntil([&] { return !monitor.monitor().isPolling(); }, limitMs);
    const double settledCpu = cpuSeconds() - analysisCpuStart;
    const double settledSeconds = static_cast<double>(monotonicNs() - analysisStart) / 1e9;
    if (!ended || !pollError.isEmpty()) {
        return fail(ended ? pollError : QStringLiteral("the poll did not end in time"));
    }
    const StallLedger& ledger = probe.ledger();
    const Summary analysis = ledger.summary(kAnalysis);
    // The longest stall of the poll, and what the interface thread did during it.
    const Stall& longest = ledger.longest(kAnalysis).ms >= ledger.longest(kFetch).ms
                               ? ledger.longest(kAnalysis)
                               : ledger.longest(kFetch);
    const double analysisSeconds =
        analysisStart > 0 ? static_cast<double>(end - analysisStart) / 1e9 : 0.0;
    printResult(
        QStringLiteral("stall"),
        {{QStringLiteral("mails"), QString::number(mailer.reads() - readsBefore)},
         {QStringLiteral("period_ms"), QString::number(period)},
         {QStringLiteral("journal"),
          options.keepJournal ? QStringLiteral("on") : QStringLiteral("off")},
         {QStringLiteral("slice_ms"),
          slice > 0 ? QString::number(slice) : QStringLiteral("default")},
         {QStringLiteral("poll_s"), fixed(static_cast<double>(end - start) / 1e9)},
         {QStringLiteral("fetch_s"),
          fixed(analysisStart > 0 ? static_cast<double>(analysisStart - start) / 1e9 : 0.0)},
         {QStringLiteral("analysis_s"), fixed(analysisSeconds)},
         {QStringLiteral("analysis_cpu_s"), fixed(analysisCpu)},
         {QStringLiteral("settled_s"), fixed(settledSeconds)},
         {QStringLiteral("settled_cpu_s"), fixed(settledCpu)},
         {QStringLiteral("thread_cpu_s"), threadSeconds()},
         {QStringLiteral("max_ms"), fixed(ledger.maxStallMs(), 1)},
         {QStringLiteral("max_busy_ms"), fixed(longest.busyMs, 1)},
         {QStringLiteral("max_wait_ms"), fixed(longest.waitMs, 1)},
         {QStringLiteral("max_preempted"), QString::number(longest.preempted)},
         {QStringLiteral("analysis_ui_cpu_s"), fixed(ledger.busySeconds(kAnalysis))},
         {QStringLiteral("analysis_ui_preempted"), QString::number(ledger.preempted(kAnalysis))},
         {QStringLiteral("fetch_max_ms"), fixed(ledger.maxStallMs(kFetch), 1)},
         {QStringLiteral("analysis_max_ms"), fixed(ledger.maxStallMs(kAnalysis), 1)},
         {QStringLiteral("analysis_p99_ms"), fixed(analysis.p99, 1)},
         {QStringLiteral("analysis_median_ms"), fixed(analysis.median, 1)},
         {QStringLiteral("ticks"), QString::number(ledger.ticks(kFetch) + ledger.ticks(kAnalysis))},
         {QStringLiteral("over16"),
          QString::number(ledger.stallsOver(kFetch, 16) + ledger.stallsOver(kAnalysis, 16))},
         {QStringLiteral("over50"),
          QString::number(ledger.stallsOver(kFetch, 50) + ledger.stallsOver(kAnalysis, 50))},
         {QStringLiteral("big_reports"),
          QString::number(bigDir.isEmpty() ? 0 : bigFill.available())},
         {QStringLiteral("big_mb"), fixed(static_cast<double>(bigBytes) / 1048576.0, 1)},
         {QStringLiteral("big_alarms"), QString::number(bigAlarms)}});
    std::fflush(nullptr);
    std::_Exit(0);  // the monitor's own teardown is not what is measured
}
