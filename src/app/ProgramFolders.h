#pragma once

#include <QString>

namespace kervo {

// What the choice of Kervo's folders depends on. gatherFolderFacts reads them from the process;
// the tests write them.
struct FolderFacts {
    QString settingsOption;  // the folder given with --settings; empty when none was
    QString currentDir;
    bool currentHoldsSettings = false;  // the current folder holds kervo.ini
    QString executableDir;
    bool executableDirWritable = false;  // for this user: its "mail" folder, or the folder itself
    QString installedBinDir;             // where `cmake --install` puts the program
    // The installed menu entry lies at ../share/applications beside the executable's folder:
    // installed under another prefix than the build was configured with.
    bool installedFilesBeside = false;
    QString home;
    QString xdgConfigHome;  // as the environment has them; empty or relative ones do not count
    QString xdgStateHome;
};

// Where the settings are read, where the mail goes and where the log file lies, each with the
// reason it was chosen, for --check to print.
struct ProgramFolders {
    QString settings;
    QString settingsReason;
    QString mail;
    QString mailReason;
    QString logFile;  // the file --log-to-file appends the log to
};

// Settings: the folder --settings names; otherwise the current folder when it holds kervo.ini
// (a settings folder started in keeps working); otherwise $XDG_CONFIG_HOME/kervo. Mail: beside
// the executable when that folder is writable and is not the folder the program is installed
// to (the build's bin/ folder, or any bin/ with the installed menu entry beside it) (a build tree
// or a portable copy keeps its mail beside it); otherwise $XDG_STATE_HOME/kervo/mail. An installed
// program never writes into bin/, even as root.
ProgramFolders chooseFolders(const FolderFacts& facts);

// The facts of this process, with the --settings folder given (or empty).
FolderFacts gatherFolderFacts(const QString& settingsOption);

}  // namespace kervo
