#pragma once

#include <QDir>
#include <QString>
#include <variant>
#include <vector>

#include "app/LooseValue.h"
#include "app/MonitorState.h"

namespace kervo {

struct MonitorContext;

// A settings file that cannot be used: which file, which line (1-based, 0 when the file as a
// whole is at fault) and what was expected there.
struct SettingsError {
    QString file;
    int line = 0;
    QString what;
    QString toText() const;  // "kervo.ini, line 5: ..." for the operator
};

// The two files as read, before anything is applied to the window.
struct Settings {
    QString backgroundPicture;
    QString alarmBackgroundPicture;
    QString dialPicture;
    QString dialAlarmPicture;
    LooseValue purgeLimit;
    QString mailServer;
    QString mailUser;
    QString mailPassword;
    std::vector<AlarmRule> rules;      // rule n is rules[n-1]
    std::vector<ServerEntry> servers;  // server k is servers[k]
};

using SettingsRead = std::variant<Settings, SettingsError>;

// Reads kervo.ini and server.ini from dir, without touching the window.
SettingsRead readSettings(const QDir& dir);

// Reads both files and applies them: settings and tables into the state, pictures onto the
// window and the dials, dials shown and captioned for the configured servers. On an error
// nothing of the state is half-filled and the error names the file and line.
std::optional<SettingsError> LoadSettings(MonitorContext& context, const QDir& dir);

}  // namespace kervo
