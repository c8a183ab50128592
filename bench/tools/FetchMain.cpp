// Kervo's retrieval as the poll runs it: one fetchAll, and beside it, on a thread of its own from
// the first saved batch on, readReport of every saved mail; then markAnalysed of each. Prints the
// time to the last mail read, and of each step.
//   kervo_bench_fetch server=127.0.0.1:PORT user=U password=P folder=DIR [probe=default|timed]
// probe=timed replaces the mailbox's free-space check by the same check wrapped in a timer,
// to show what that check costs per mail.
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QStorageInfo>
#include <atomic>
#include <cstdio>
#include <optional>
#include <thread>

#include "mail/ReadAhead.h"
#include "mail/pop/PopMailbox.h"
#include "support/BenchSupport.h"

using namespace kervo;
using namespace kervo::bench;

namespace {

double secondsSince(qint64 startNs) {
    return static_cast<double>(monotonicNs() - startNs) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString error;
    const std::optional<Arguments> args = Arguments::parse(
        app.arguments().mid(1),
        {QStringLiteral("server"), QStringLiteral("user"), QStringLiteral("password"),
         QStringLiteral("folder"), QStringLiteral("probe")},
        error);
    if (!args) {
        std::fprintf(stderr, "kervo_bench_fetch: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    const QString folder = args->text(QStringLiteral("folder"));

    PopMailbox mailer(folder);
    std::atomic<qint64> probeNs{0};
    std::atomic<qint64> probeCalls{0};
    if (args->text(QStringLiteral("probe")) == u"timed") {
        mailer.setFreeSpaceProbe([&](const QString& path) {
            const qint64 start = monotonicNs();
            const QStorageInfo storage(path);
            const qint64 free = storage.isValid() ? storage.bytesAvailable() : -1;
            probeNs += monotonicNs() - start;
            ++probeCalls;
            return free;
        });
    }

    // The reading as the poll does it: each saved batch is read while the next is fetched, at
    // the poll's lower priority, and whatever the outcome lists beyond what was told after it.
    SavedMailQueue saved;
    qsizetype unreadable = 0;
    qint64 textChars = 0;
    std::atomic<qint64> readNs{0};
    std::thread reader([&] {
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
        while (std::optional<QString> file = saved.next()) {
            const qint64 begin = monotonicNs();
            const Result<ReportText> texts = mailer.readReport(*file);
            readNs += monotonicNs() - begin;
            if (!texts.ok()) {
                ++unreadable;
            } else {
                textChars += texts.value().subject.size() + texts.value().body.size();
            }
        }
    });
    // The fetch runs at the priority the poll gives it.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 5);
    const qint64 start = monotonicNs();
    const FetchOutcome fetched =
        mailer.fetchAll({args->text(QStringLiteral("server")), args->text(QStringLiteral("user")),
                         args->text(QStringLiteral("password"))},
                        [&](const QStringList& files) { saved.add(files); });
    const double rcv = secondsSince(start);
    saved.finish(fetched.files);
    reader.join();
    const double total = secondsSince(start);
    if (!fetched.ended.ok()) {
        std::fprintf(stderr, "kervo_bench_fetch: %s\n",
                     fetched.ended.error().message.toLocal8Bit().constData());
        return 1;
    }
    const QStringList& files = fetched.files;
    const double read = static_cast<double>(readNs.load()) / 1e9;

    qint64 bytes = 0;
    for (const QString& file : files) {
        bytes += QFileInfo(file).size();
    }
    const qint64 markStart = monotonicNs();
    for (const QString& file : files) {
        mailer.markAnalysed(file);
    }
    const double mark = secondsSince(markStart);

    printResult(QStringLiteral("kervo"),
                {{QStringLiteral("mails"), QString::number(files.size())},
                 {QStringLiteral("bytes"), QString::number(bytes)},
                 {QStringLiteral("seconds"), fixed(total)},
                 {QStringLiteral("rcv_s"), fixed(rcv)},
                 {QStringLiteral("read_s"), fixed(read)},
                 {QStringLiteral("read_after_s"), fixed(total - rcv)},
                 {QStringLiteral("mark_s"), fixed(mark)},
                 {QStringLiteral("probe_s"), fixed(static_cast<double>(probeNs.load()) / 1e9)},
                 {QStringLiteral("probe_calls"), QString::number(probeCalls.load())},
                 {QStringLiteral("text_chars"), QString::number(textChars)},
                 {QStringLiteral("unreadable"), QString::number(unreadable)}});
    return unreadable == 0 ? 0 : 1;
}
