#include "app/ProgramFolders.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kervo {

namespace {

// An XDG base folder: the variable when it holds an absolute path, otherwise the default under
// the home folder, as the XDG base directory rules say.
QString baseFolder(const QString& variable, const QString& home, const QString& underHome) {
    if (!variable.isEmpty() && QDir::isAbsolutePath(variable)) {
        return QDir::cleanPath(variable);
    }
    return QDir::cleanPath(home + u'/' + underHome);
}

QString sameFolder(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

bool writable(const QString& path) {
    return ::access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0;
}

}  // namespace

ProgramFolders chooseFolders(const FolderFacts& facts) {
    ProgramFolders folders;
    const QString config = baseFolder(facts.xdgConfigHome, facts.home, QStringLiteral(".config"));
    const QString state =
        baseFolder(facts.xdgStateHome, facts.home, QStringLiteral(".local/state"));
    if (!facts.settingsOption.isEmpty()) {
        folders.settings = QDir(facts.currentDir).absoluteFilePath(facts.settingsOption);
        folders.settingsReason = QStringLiteral("given with --settings");
    } else if (facts.currentHoldsSettings) {
        folders.settings = facts.currentDir;
        folders.settingsReason = QStringLiteral("the current folder holds kervo.ini");
    } else {
        folders.settings = config + QStringLiteral("/kervo");
        folders.settingsReason = QStringLiteral("the current folder holds no kervo.ini");
    }
    folders.settings = QDir::cleanPath(folders.settings);

    const bool installed = facts.installedFilesBeside ||
                           (!facts.installedBinDir.isEmpty() &&
                            sameFolder(facts.executableDir) == sameFolder(facts.installedBinDir));
    if (installed) {
        folders.mail = state + QStringLiteral("/kervo/mail");
        folders.mailReason = QStringLiteral("the program is installed");
    } else if (facts.executableDirWritable) {
        folders.mail = QDir::cleanPath(facts.executableDir + QStringLiteral("/mail"));
        folders.mailReason = QStringLiteral("beside the executable");
    } else {
        folders.mail = state + QStringLiteral("/kervo/mail");
        folders.mailReason = QStringLiteral("the executable's folder is not writable");
    }
    folders.logFile = state + QStringLiteral("/kervo/kervo.log");
    return folders;
}

FolderFacts gatherFolderFacts(const QString& settingsOption) {
    FolderFacts facts;
    facts.settingsOption = settingsOption;
    facts.currentDir = QDir::currentPath();
    facts.currentHoldsSettings =
        QFileInfo(QDir::current().filePath(QStringLiteral("kervo.ini"))).isFile();
    // Asked of the system rather than of the application object, which the tools run without.
    facts.executableDir =
        QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
    const QString besideMail = facts.executableDir + QStringLiteral("/mail");
    facts.executableDirWritable =
        QFileInfo(besideMail).isDir() ? writable(besideMail) : writable(facts.executableDir);
    facts.installedBinDir = QStringLiteral(KERVO_INSTALLED_BINDIR);
    facts.installedFilesBeside = QFileInfo::exists(facts.executableDir + QStringLiteral("/../") +
                                                   QStringLiteral(KERVO_INSTALLED_MENU_ENTRY));
    facts.home = QDir::homePath();
    facts.xdgConfigHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    facts.xdgStateHome = qEnvironmentVariable("XDG_STATE_HOME");
    return facts;
}

}  // namespace kervo
