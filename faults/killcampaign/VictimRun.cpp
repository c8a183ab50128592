#include "VictimRun.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>
#include <vector>

extern char** environ;

namespace kervo::faults {

namespace {

using Clock = std::chrono::steady_clock;

VictimOutcome ended(int status) {
    VictimOutcome out;
    if (WIFEXITED(status)) {
        out.end = VictimOutcome::End::Exited;
        out.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        out.signal = WTERMSIG(status);
        out.end = out.signal == SIGKILL ? VictimOutcome::End::Killed : VictimOutcome::End::Crashed;
    }
    return out;
}

}  // namespace

VictimOutcome runVictim(const QString& program, const QStringList& arguments,
                        const QString& outputFile,
                        std::optional<std::chrono::microseconds> killAfter,
                        std::chrono::milliseconds timeout) {
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString& argument : arguments) {
        storage.push_back(argument.toLocal8Bit());
    }
    std::vector<char*> argv;
    for (QByteArray& a : storage) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = QFile::encodeName(outputFile);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = 0;
    const auto started = Clock::now();
    const int failed =
        ::posix_spawn(&pid, storage.front().constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        VictimOutcome none;
        none.output = QString::fromLocal8Bit(std::strerror(failed));
        return none;
    }

    const auto deadline =
        started + (killAfter ? std::chrono::duration_cast<Clock::duration>(*killAfter)
                             : std::chrono::duration_cast<Clock::duration>(timeout));
    int status = 0;
    pid_t reaped = 0;
    // Polled rather than slept through, so that a run that ends early is seen ending.
    while ((reaped = ::waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(
            std::min<Clock::duration>(deadline - Clock::now(), std::chrono::microseconds(500)));
    }
    if (reaped == 0) {
        ::kill(pid, SIGKILL);
        while ((reaped = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
        }
    }
    VictimOutcome outcome = ended(status);
    outcome.ran = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started);
    QFile log(outputFile);
    if (log.open(QIODevice::ReadOnly)) {
        outcome.output = QString::fromLocal8Bit(log.read(4096)).trimmed();
    }
    return outcome;
}

}  // namespace kervo::faults
