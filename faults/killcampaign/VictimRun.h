#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

namespace kervo::faults {

// How one run of the fetching program ended.
struct VictimOutcome {
    enum class End { Exited, Killed, Crashed, NotStarted };
    End end = End::NotStarted;
    int exitCode = -1;  // with Exited
    int signal = 0;     // with Killed and Crashed
    QString output;     // what it printed, both streams
    std::chrono::microseconds ran{0};
};

// Runs program with arguments, its output going to outputFile. With killAfter, the program is
// sent SIGKILL that long after it was started unless it has ended by then; without, it runs to
// its end (SIGKILL after timeout, reported as Killed).
VictimOutcome runVictim(const QString& program, const QStringList& arguments,
                        const QString& outputFile,
                        std::optional<std::chrono::microseconds> killAfter,
                        std::chrono::milliseconds timeout);

}  // namespace kervo::faults
