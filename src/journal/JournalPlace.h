#pragma once

#include <QString>

namespace kervo {

class ProblemLog;

// Where the journal lies and how long it keeps its records, set from the environment so that
// kervo.ini and server.ini stay as they are:
//   KERVO_JOURNAL       the journal file; default $XDG_DATA_HOME/kervo/journal.sqlite
//                       (~/.local/share/kervo/journal.sqlite)
//   KERVO_JOURNAL_DAYS  days a record is kept, a whole number from 1; default 90
QString journalPath();
// The retention period; a value that cannot be used is reported and the default taken.
int journalRetentionDays(ProblemLog& log);

}  // namespace kervo
