#include "support/BenchSupport.h"

#include <sys/resource.h>

#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace kervo::bench {

namespace {

std::optional<qint64> kilobytesAfter(QByteArrayView text, QByteArrayView label) {
    qsizetype at = 0;
    while ((at = text.indexOf(label, at)) >= 0) {
        if (at == 0 || text.at(at - 1) == '\n') {
            break;
        }
        at += label.size();
    }
    if (at < 0) {
        return std::nullopt;
    }
    qsizetype end = text.indexOf('\n', at);
    if (end < 0) {
        end = text.size();
    }
    QByteArray value = text.sliced(at + label.size(), end - at - label.size()).toByteArray();
    value = value.trimmed();
    if (!value.endsWith(" kB")) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 kb = value.chopped(3).trimmed().toLongLong(&ok);
    return ok ? std::optional<qint64>(kb) : std::nullopt;
}

}  // namespace

MemoryStatus parseMemoryStatus(QByteArrayView procStatus) {
    MemoryStatus status;
    status.rssKb = kilobytesAfter(procStatus, "VmRSS:").value_or(-1);
    status.hwmKb = kilobytesAfter(procStatus, "VmHWM:").value_or(-1);
    return status;
}

MemoryStatus readMemoryStatus() {
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return parseMemoryStatus(file.readAll());
}

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

qint64 monotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

Summary summarise(std::vector<double> samples) {
    Summary summary;
    if (samples.empty()) {
        return summary;
    }
    std::sort(samples.begin(), samples.end());
    const auto rank = [&](double fraction) {
        const auto index =
            static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(samples.size())));
        return samples[std::clamp<std::size_t>(index, 1, samples.size()) - 1];
    };
    summary.count = static_cast<qsizetype>(samples.size());
    summary.min = samples.front();
    summary.median = rank(0.5);
    summary.p99 = rank(0.99);
    summary.max = samples.back();
    return summary;
}

std::optional<Arguments> Arguments::parse(const QStringList& arguments, const QStringList& allowed,
                                          QString& error) {
    Arguments parsed;
    for (const QString& argument : arguments) {
        const qsizetype equals = argument.indexOf(u'=');
        const QString key = equals > 0 ? argument.left(equals) : QString();
        if (key.isEmpty() || !allowed.contains(key)) {
            error = QStringLiteral("unknown argument \"%1\"; expected key=value with a key of: %2")
                        .arg(argument, allowed.join(u", "));
            return std::nullopt;
        }
        parsed.values_.insert(key, argument.mid(equals + 1));
    }
    return parsed;
}

QString Arguments::text(const QString& key, const QString& fallback) const {
    return values_.value(key, fallback);
}

std::optional<qint64> Arguments::number(const QString& key, qint64 fallback) const {
    const auto found = values_.constFind(key);
    if (found == values_.constEnd()) {
        return fallback;
    }
    bool ok = false;
    const qint64 value = found->toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

QString resultLine(const QString& bench, const std::vector<std::pair<QString, QString>>& values) {
    QString line = QStringLiteral("RESULT ") + bench;
    for (const auto& [key, value] : values) {
        QString safe = value;
        safe.replace(u' ', u'_');
        line += u' ' + key + u'=' + safe;
    }
    return line;
}

void printResult(const QString& bench, const std::vector<std::pair<QString, QString>>& values) {
    std::printf("%s\n", resultLine(bench, values).toUtf8().constData());
    std::fflush(stdout);
}

QString fixed(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

}  // namespace kervo::bench

namespace kervo::bench {

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    if (done()) {
        return true;
    }
    // A sleeping loop with a coarse check: a busy wait would show up in the figures.
    QEventLoop loop;
    QTimer check;
    check.setInterval(10);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    return done();
}

}  // namespace kervo::bench
