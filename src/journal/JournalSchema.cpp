#include "journal/JournalSchema.h"

namespace kervo {

QStringList schemaStep(int version) {
    switch (version) {
        case 1:
            // The first journal: the reports, each rule a report matched as an alarm with the
            // time it was acknowledged, and the operator's resets.
            return {
                QStringLiteral("CREATE TABLE reports (id INTEGER PRIMARY KEY, mail_file TEXT NOT "
                               "NULL UNIQUE, received INTEGER NOT NULL, dial INTEGER NOT NULL, "
                               "server TEXT NOT NULL, subject TEXT NOT NULL, body TEXT NOT NULL, "
                               "body_cut INTEGER NOT NULL DEFAULT 0)"),
                QStringLiteral("CREATE INDEX reports_by_time ON reports (received)"),
                QStringLiteral("CREATE TABLE alarms (id INTEGER PRIMARY KEY, report_id INTEGER NOT "
                               "NULL REFERENCES reports (id) ON DELETE CASCADE, rule INTEGER NOT "
                               "NULL, tag TEXT NOT NULL, message TEXT NOT NULL, raised INTEGER NOT "
                               "NULL, acknowledged INTEGER, UNIQUE (report_id, rule))"),
                QStringLiteral("CREATE TABLE resets (id INTEGER PRIMARY KEY, at INTEGER NOT NULL)"),
            };
        case 2:
            // Who acknowledged an alarm and why, and who reset: the acknowledgement of one alarm
            // with a comment came with the history window.
            return {
                QStringLiteral("ALTER TABLE alarms ADD COLUMN acknowledged_by TEXT"),
                QStringLiteral("ALTER TABLE alarms ADD COLUMN comment TEXT"),
                QStringLiteral("ALTER TABLE resets ADD COLUMN by TEXT"),
                QStringLiteral("CREATE INDEX alarms_by_time ON alarms (raised)"),
            };
        default:
            return {};
    }
}

}  // namespace kervo
