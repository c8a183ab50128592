#pragma once

#include <QByteArrayView>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace kervo::bench {

// Resident memory as the kernel reports it, in kilobytes; -1 when the line was missing.
struct MemoryStatus {
    qint64 rssKb = -1;
    qint64 hwmKb = -1;
};

MemoryStatus parseMemoryStatus(QByteArrayView procStatus);
MemoryStatus readMemoryStatus();

// User plus system CPU time this process has used so far.
double cpuSeconds();

// CLOCK_MONOTONIC in nanoseconds; the driver reads the same clock, so stamps can cross processes.
qint64 monotonicNs();

struct Summary {
    qsizetype count = 0;
    double min = 0;
    double median = 0;
    double p99 = 0;
    double max = 0;
};

// Nearest-rank figures of the samples; all zero for none.
Summary summarise(std::vector<double> samples);

// The tools take key=value arguments: the driver builds them, a person can read them.
class Arguments {
  public:
    // Every argument must be key=value with a key from allowed; otherwise the reason.
    static std::optional<Arguments> parse(const QStringList& arguments, const QStringList& allowed,
                                          QString& error);

    QString text(const QString& key, const QString& fallback = {}) const;
    // The value as a whole number; fallback when absent, nothing when present but not a number.
    std::optional<qint64> number(const QString& key, qint64 fallback) const;

  private:
    QMap<QString, QString> values_;
};

// One line the driver picks up: "RESULT <bench> key=value ...". Values must not hold spaces.
QString resultLine(const QString& bench, const std::vector<std::pair<QString, QString>>& values);
void printResult(const QString& bench, const std::vector<std::pair<QString, QString>>& values);

QString fixed(double value, int decimals = 3);

// Runs the event loop until done() holds or timeoutMs have passed; whether done() held.
bool waitUntil(const std::function<bool()>& done, int timeoutMs);

}  // namespace kervo::bench
