// What the running monitor costs: resident memory once started with its settings, CPU while it
// sits idle with its timers running (and while an alarm blinks), and resident memory along many
// polls that each bring a report or two. The polls are driven through the monitor's own
// 30-second tick handler, so every other tick polls and the purge runs as configured; an alarm
// a report raises is reset at once, as the operator would.
//   kervo_bench_footprint settings=DIR folder=DIR templates=DIR maildir=DIR
//                         [idle-s=60] [blink-s=0] [polls=1000] [limit-s=900]
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

#include "Application.h"
#include "Monitor.h"
#include "alarm/Alarm.h"
#include "mail/MailCheck.h"
#include "mail/PollTimer.h"
#include "mail/pop/PopMailbox.h"
#include "support/BenchSupport.h"
#include "support/CountingMailer.h"
#include "support/MailboxFill.h"
#include "ui/Fonts.h"

using namespace kervo;
using namespace kervo::bench;

namespace {

int fail(const QString& text) {
    std::fprintf(stderr, "kervo_bench_footprint: %s\n", text.toLocal8Bit().constData());
    std::fflush(nullptr);
    std::_Exit(1);
}

// CPU used over seconds of plain event loop, as a share of one core, in percent.
double cpuPercentOver(int seconds) {
    const double cpuBefore = cpuSeconds();
    const qint64 start = monotonicNs();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double wall = static_cast<double>(monotonicNs() - start) / 1e9;
    return wall > 0 ? (cpuSeconds() - cpuBefore) / wall * 100.0 : 0.0;
}

QString kb(qint64 value) {
    return QString::number(value);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    installFontSubstitutions();
    QString error;
    const std::optional<Arguments> args = Arguments::parse(
        app.arguments().mid(1),
        {QStringLiteral("settings"), QStringLiteral("folder"), QStringLiteral("templates"),
         QStringLiteral("maildir"), QStringLiteral("idle-s"), QStringLiteral("blink-s"),
         QStringLiteral("polls"), QStringLiteral("limit-s")},
        error);
    if (!args) {
        return fail(error);
    }
    const int idleSeconds =
        static_cast<int>(args->number(QStringLiteral("idle-s"), 60).value_or(60));
    const int blinkSeconds =
        static_cast<int>(args->number(QStringLiteral("blink-s"), 0).value_or(0));
    const qint64 polls = args->number(QStringLiteral("polls"), 1000).value_or(1000);
    const qint64 limitNs =
        args->number(QStringLiteral("limit-s"), 900).value_or(900) * 1'000'000'000;
    const qint64 begin = monotonicNs();
    MailboxFill fill(args->text(QStringLiteral("templates")),
                     args->text(QStringLiteral("maildir")));
    if (error = fill.load(); !error.isEmpty()) {
        return fail(error);
    }

    Application::Options options;
    options.settingsDir = QDir(args->text(QStringLiteral("settings")));
    options.mailFolder = args->text(QStringLiteral("folder"));
    PopMailbox pop(options.mailFolder);
    CountingMailer mailer(pop);
    options.mailbox = &mailer;
    Application monitor(options);
    if (monitor.start()) {
        return fail(QStringLiteral("the monitor did not start"));
    }
    Monitor& handlers = monitor.monitor();
    MailCheck& check = handlers.mailCheck();
    if (!waitUntil([&] { return !check.isPolling(); }, 60'000)) {
        return fail(QStringLiteral("the start-up poll did not end"));
    }
    const MemoryStatus started = readMemoryStatus();
    const int rules = static_cast<int>(handlers.settings().rules.size());
    const int dials = static_cast<int>(handlers.settings().servers.size());

    const double idlePercent = cpuPercentOver(idleSeconds);
    const MemoryStatus afterIdle = readMemoryStatus();

    double blinkPercent = -1;
    if (blinkSeconds > 0) {
        // Any alarm rule will do: the first prepared report that raises one starts the blink.
        for (int tries = 0; tries < 200 && !handlers.alarm().isBlinking(); ++tries) {
            if (error = fill.deposit(1); !error.isEmpty()) {
                return fail(error);
            }
            if (!check.start() || !waitUntil([&] { return !check.isPolling(); }, 60'000)) {
                return fail(QStringLiteral("a poll for the alarm did not run"));
            }
        }
        if (handlers.alarm().isBlinking()) {
            blinkPercent = cpuPercentOver(blinkSeconds);
            handlers.resetAlarm();
        }
    }

    // From here the polls come from the loop below, one right after the other.
    handlers.pollTimer().stop();
    bool tickPolls = true;  // after the start-up's own poll, the first tick polls
    std::vector<std::pair<qint64, MemoryStatus>> marks{{0, readMemoryStatus()}};
    const QList<qint64> markAt{1, 10, 100, 250, 500, 750, 1000, 2000, 5000};
    qint64 done = 0;
    qint64 alarms = 0;
    const qint64 readsBefore = mailer.reads();
    const qint64 failedBefore = mailer.failedFetches();
    const qint64 pollStart = monotonicNs();
    while (done < polls && monotonicNs() - begin < limitNs) {
        const bool polling = tickPolls;
        tickPolls = !tickPolls;
        if (polling) {
            if (error = fill.deposit(1 + done % 2); !error.isEmpty()) {
                return fail(error);
            }
        }
        handlers.pollTimer().onTick();
        if (polling) {
            if (!waitUntil([&] { return !check.isPolling(); }, 60'000)) {
                return fail(QStringLiteral("poll %1 did not end").arg(done + 1));
            }
            ++done;
            if (handlers.alarm().isBlinking()) {
                ++alarms;
                handlers.resetAlarm();
            }
            if (markAt.contains(done)) {
                marks.emplace_back(done, readMemoryStatus());
            }
        }
    }
    const double pollSeconds = static_cast<double>(monotonicNs() - pollStart) / 1e9;

    std::vector<std::pair<QString, QString>> values{
        {QStringLiteral("dials"), QString::number(dials)},
        {QStringLiteral("rules"), QString::number(rules)},
        {QStringLiteral("rss_start_kb"), kb(started.rssKb)},
        {QStringLiteral("hwm_start_kb"), kb(started.hwmKb)},
        {QStringLiteral("idle_s"), QString::number(idleSeconds)},
        {QStringLiteral("idle_cpu_pct"), fixed(idlePercent, 3)},
        {QStringLiteral("rss_after_idle_kb"), kb(afterIdle.rssKb)},
        {QStringLiteral("blink_s"), QString::number(blinkSeconds)},
        {QStringLiteral("blink_cpu_pct"), fixed(blinkPercent, 3)},
        {QStringLiteral("polls"), QString::number(done)},
        {QStringLiteral("poll_s"), fixed(pollSeconds, 1)},
        {QStringLiteral("mails_read"), QString::number(mailer.reads() - readsBefore)},
        {QStringLiteral("failed_polls"), QString::number(mailer.failedFetches() - failedBefore)},
        {QStringLiteral("alarms"), QString::number(alarms)},
        {QStringLiteral("hwm_end_kb"), kb(readMemoryStatus().hwmKb)}};
    for (const auto& [at, status] : marks) {
        values.emplace_back(QStringLiteral("rss_at_%1_kb").arg(at), kb(status.rssKb));
    }
    printResult(QStringLiteral("footprint"), values);
    std::fflush(nullptr);
    std::_Exit(done == polls ? 0 : 1);
}
