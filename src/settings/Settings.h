#pragma once

#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QString>
#include <array>
#include <vector>

#include "app/LooseValue.h"
#include "app/Result.h"

namespace kervo {

// One line of server.ini: the name that pins a report to its dial (and is the dial's caption),
// and the console command the dial opens; may be empty.
struct ServerEntry {
    LooseValue name;
    LooseValue command;
};

// One record of kervo.ini after its head: a report whose subject holds the first pattern and
// whose body holds the second raises the alarm with the message.
struct AlarmRule {
    LooseValue tag;  // a free label, kept as read
    LooseValue firstPattern;
    LooseValue secondPattern;
    QString message;
};

constexpr int kMaxServers = 12;  // one per dial of the window
constexpr int kMaxRules = 200;

inline constexpr char16_t kKervoIni[] = u"kervo.ini";
inline constexpr char16_t kServerIni[] = u"server.ini";

// A settings file that cannot be used: which file, which line (1-based, 0 when the file as a
// whole is at fault) and what was expected there.
struct SettingsError {
    QString file;
    int line = 0;
    QString what;
    QString toText() const;  // "kervo.ini, line 5: ..." for the operator
};

// What kervo.ini and server.ini hold. Read once at the start and never changed after.
struct Settings {
    // Lines 1 to 4 of kervo.ini, relative paths already taken against the settings folder, so
    // that the alarm loads the same files wherever the process stands by then. Empty: none.
    QString backgroundPicture;
    QString alarmBackgroundPicture;
    QString dialPicture;
    QString dialAlarmPicture;
    LooseValue purgeLimit;
    QString mailServer;
    QString mailUser;
    QString mailPassword;
    std::vector<AlarmRule> rules;      // in file order, at most kMaxRules
    std::vector<ServerEntry> servers;  // dial i is servers[i], at most kMaxServers
};

// The settings and the two pictures the window shows from the start.
struct LoadedSettings {
    Settings settings;
    QImage background;  // line 1's picture; null when the line is empty
    QImage dial;        // line 3's picture, on every dial; null when the line is empty
    // Lines 1 to 4 as the operator wrote them, which the settings check shows back.
    std::array<QString, 4> pictureLines;
};

// How the monitor reads its settings folder, at the start and for the operator's check alike.
// The steps run in this order and the first fault stops them, so the error is always the first
// one the operator has to mend: kervo.ini, the pictures of its lines 1 and 3 (the window needs
// them at once; lines 2 and 4 are loaded when an alarm shows them), then server.ini.
[[nodiscard]] Result<LoadedSettings, SettingsError> readSettings(const QDir& folder);

// The parser readSettings runs on the files' bytes, for callers without a disk. kervo.ini's
// faults come before server.ini's; pictures are not loaded, their paths only resolved against
// folder.
[[nodiscard]] Result<Settings, SettingsError> parseSettings(const QByteArray& kervoIni,
                                                            const QByteArray& serverIni,
                                                            const QDir& folder);

}  // namespace kervo
