#include "app/MonitorContext.h"
#include "settings/Settings.h"

namespace kervo {

namespace {

// Puts what was read onto the state and the window, in the order the start-up has always done
// it. Runs only once everything is known to be good, so that it cannot stop half-way.
void apply(MonitorContext& context, const Settings& settings, const StartPictures& pictures,
           const QDir& dir) {
    MonitorState& state = context.state;
    FormModel& form = context.form;

    // The alarm loads these again later, from wherever the process then stands: keep them
    // resolved against the folder the settings came from.
    state.backgroundPicture = picturePathIn(dir, settings.backgroundPicture);
    state.alarmBackgroundPicture = picturePathIn(dir, settings.alarmBackgroundPicture);
    state.dialPicture = picturePathIn(dir, settings.dialPicture);
    state.dialAlarmPicture = picturePathIn(dir, settings.dialAlarmPicture);

    for (int i = 0; i < kDialCount; ++i) {
        form.setDialVisible(i, false);
        form.setDialPicture(i, pictures.dial);
    }
    form.setBackgroundPicture(pictures.background);

    state.purgeLimit = settings.purgeLimit;
    state.mailServer = settings.mailServer;
    state.mailUser = settings.mailUser;
    state.mailPassword = settings.mailPassword;

    state.rules.fill(AlarmRule{});
    int n = 0;
    for (const AlarmRule& rule : settings.rules) {
        ++n;
        state.rules.at(static_cast<size_t>(n)) = rule;
    }
    state.ruleCount = n;

    state.servers.fill(ServerEntry{});
    int k = -1;
    for (const ServerEntry& server : settings.servers) {
        ++k;
        state.servers.at(static_cast<size_t>(k)) = server;
        form.setDialVisible(k, true);
        form.setDialCaption(k, server.name.toText());
    }
    state.serverCount = k;
}

}  // namespace

std::optional<SettingsError> LoadSettings(MonitorContext& context, const QDir& dir) {
    Settings settings;
    if (auto error = readKervoIni(dir, settings)) {
        return error;
    }
    StartPicturesRead pictures = loadStartPictures(settings, dir);
    if (auto* error = std::get_if<SettingsError>(&pictures)) {
        return *error;
    }
    if (auto error = readServerIni(dir, settings)) {
        return error;
    }
    apply(context, settings, std::get<StartPictures>(pictures), dir);
    return std::nullopt;
}

}  // namespace kervo
