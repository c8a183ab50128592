#include "StartOptions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

namespace kervo {

Result<StartOptions> takeStartOptions(QStringList& arguments) {
    StartOptions options;
    bool settingsGiven = false;
    for (qsizetype i = 1; i < arguments.size();) {
        const QString& argument = arguments.at(i);
        if (argument == u"--settings") {
            // "--settings --check" is a folder forgotten, not a folder named --check.
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty() ||
                arguments.at(i + 1).startsWith(u"--") || settingsGiven) {
                return Error{QStringLiteral("--settings takes one folder, once")};
            }
            settingsGiven = true;
            options.settingsDir = arguments.at(i + 1);
            arguments.remove(i, 2);
        } else if (argument == u"--log-to-file") {
            if (options.logToFile) {
                return Error{QStringLiteral("--log-to-file is given twice")};
            }
            options.logToFile = true;
            arguments.remove(i);
        } else {
            ++i;
        }
    }
    return options;
}

Result<void> sendStandardErrorTo(const QString& file) {
    const QString folder = QFileInfo(file).absolutePath();
    const bool existed = QFileInfo(folder).isDir();
    if (!QDir().mkpath(folder)) {
        return Error{QStringLiteral("the log folder %1 cannot be created").arg(folder)};
    }
    if (!existed) {
        ::chmod(QFile::encodeName(folder).constData(), 0700);
    }
    const int fd = ::open(QFile::encodeName(file).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return Error{QStringLiteral("the log file %1 cannot be opened: %2")
                         .arg(file, QString::fromLocal8Bit(std::strerror(errno)))};
    }
    // dup2 leaves the copy open across exec, as standard error always is.
    const bool moved = ::dup2(fd, STDERR_FILENO) >= 0;
    ::close(fd);
    if (!moved) {
        return Error{QStringLiteral("standard error cannot be sent to %1").arg(file)};
    }
    return {};
}

}  // namespace kervo
