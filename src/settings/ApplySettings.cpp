#include "settings/ApplySettings.h"

#include "app/MonitorContext.h"

namespace kervo {

void applySettings(MonitorContext& context, const LoadedSettings& loaded) {
    MonitorState& state = context.state;
    FormModel& form = context.form;
    const Settings& settings = loaded.settings;

    state.backgroundPicture = settings.backgroundPicture;
    state.alarmBackgroundPicture = settings.alarmBackgroundPicture;
    state.dialPicture = settings.dialPicture;
    state.dialAlarmPicture = settings.dialAlarmPicture;

    for (int i = 0; i < kDialCount; ++i) {
        form.setDialVisible(i, false);
        form.setDialPicture(i, loaded.dial);
    }
    form.setBackgroundPicture(loaded.background);

    state.purgeLimit = settings.purgeLimit;
    state.mailServer = settings.mailServer;
    state.mailUser = settings.mailUser;
    state.mailPassword = settings.mailPassword;

    // MonitorState still numbers its rules from slot 1 and its servers from slot 0.
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

}  // namespace kervo
