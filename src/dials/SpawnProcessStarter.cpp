#include "dials/SpawnProcessStarter.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QFile>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

extern char** environ;

namespace kervo {

namespace {

// QProcess::startDetached of Qt 6.4 runs no child-process modifier and closes nothing, so the
// start is done here: posix_spawnp reports a failed exec with its reason.
class SpawnSetup {
  public:
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
    }
    ~SpawnSetup() {
        posix_spawnattr_destroy(&attributes_);
        posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // Zero, or the error number of the step that failed.
    int prepare() {
        if (const int failed = posix_spawn_file_actions_addclosefrom_np(&actions_, 3)) {
            return failed;
        }
        // The monitor ignores SIGPIPE; a console must not inherit that, nor any blocked signal.
        sigset_t all;
        sigset_t none;
        sigfillset(&all);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attributes_, &all);
        posix_spawnattr_setsigmask(&attributes_, &none);
        return posix_spawnattr_setflags(
            &attributes_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

  private:
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attributes_{};
};

// The console may run for hours; whoever waits for it must not hold up the window.
void reapWhenItEnds(pid_t pid) {
    try {
        std::thread([pid] {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the console runs all the same and stays a zombie once it ends.
    }
}

}  // namespace

Result<void> SpawnProcessStarter::start(const QString& program, const QStringList& arguments) {
    if (program.isEmpty()) {
        return Error{QStringLiteral("no program named")};
    }
    std::vector<QByteArray> words;
    words.reserve(static_cast<size_t>(arguments.size()) + 1);
    words.push_back(QFile::encodeName(program));
    for (const QString& argument : arguments) {
        words.push_back(argument.toLocal8Bit());
    }
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (QByteArray& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    SpawnSetup setup;
    int failed = setup.prepare();
    pid_t pid = -1;
    if (failed == 0) {
        failed = ::posix_spawnp(&pid, argv[0], setup.actions(), setup.attributes(), argv.data(),
                                environ);
    }
    if (failed != 0) {
        return Error{QString::fromLocal8Bit(std::strerror(failed))};
    }
    reapWhenItEnds(pid);
    return {};
}

}  // namespace kervo
