#pragma once

#include <QString>
#include <QStringList>

#include "app/Result.h"

namespace kervo {

// The options that may stand beside any tool and beside the normal start.
struct StartOptions {
    QString settingsDir;     // --settings DIR; empty when not given
    bool logToFile = false;  // --log-to-file
};

// Takes --settings DIR and --log-to-file out of arguments (wherever they stand after the
// program's name), leaving the tool and its own arguments. An Error when --settings has no
// folder after it or an option is given twice.
[[nodiscard]] Result<StartOptions> takeStartOptions(QStringList& arguments);

// Appends standard error, and with it every line of the log, to the file, creating it and its
// folders owner-only. For a start from the desktop, where standard error goes nowhere.
[[nodiscard]] Result<void> sendStandardErrorTo(const QString& file);

}  // namespace kervo
