#include "dials/QtProcessStarter.h"

#include <QProcess>

namespace kervo {

bool QtProcessStarter::startDetached(const QString& program, const QStringList& arguments,
                                     QString* error) {
    if (program.isEmpty()) {
        if (error != nullptr) {
            *error = QStringLiteral("no program named");
        }
        return false;
    }
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (process.startDetached()) {
        return true;
    }
    if (error != nullptr) {
        *error = process.errorString();
    }
    return false;
}

}  // namespace kervo
