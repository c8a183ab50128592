#pragma once

#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QString>
#include <optional>
#include <variant>
#include <vector>

#include "app/LooseValue.h"

namespace kervo {

// One watched server, one record of server.ini: dial k shows server k.
struct ServerEntry {
    LooseValue name;     // the dial's caption, and the text that pins a report on the dial
    LooseValue command;  // the console started by a click on the dial; may be empty
};

// One alarm rule, one record of kervo.ini: it matches a report whose subject holds the first
// pattern and whose body holds the second.
struct AlarmRule {
    LooseValue tag;  // a free label, kept as read
    LooseValue firstPattern;
    LooseValue secondPattern;
    QString message;  // shown when the rule matches
};

constexpr int kMaxServers = 12;  // one per dial
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

// Reads kervo.ini and server.ini from dir, without touching the window. Picture files are
// not looked at; see loadStartPictures.
SettingsRead readSettings(const QDir& dir);

// The two halves of readSettings, for callers that must keep the start-up's order (kervo.ini,
// its pictures, then server.ini). Each fills only its own members of into.
std::optional<SettingsError> readKervoIni(const QDir& dir, Settings& into);
std::optional<SettingsError> readServerIni(const QDir& dir, Settings& into);

// The same reading from the files' bytes, without a disk.
SettingsRead parseSettings(const QByteArray& kervoIni, const QByteArray& serverIni);
std::optional<SettingsError> parseKervoIni(const QByteArray& bytes, Settings& into);
std::optional<SettingsError> parseServerIni(const QByteArray& bytes, Settings& into);

// A picture path from kervo.ini as a path the process can open: relative paths are taken
// against the settings folder, empty stays empty (no picture).
QString picturePathIn(const QDir& dir, const QString& path);

// The pictures of lines 1 and 3, which the start-up needs at once. Lines 2 and 4 are only
// loaded when an alarm shows them.
struct StartPictures {
    QImage background;
    QImage dial;
};
using StartPicturesRead = std::variant<StartPictures, SettingsError>;
StartPicturesRead loadStartPictures(const Settings& settings, const QDir& dir);


}  // namespace kervo
