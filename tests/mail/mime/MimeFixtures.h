#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include "support/Printing.h"

namespace kervo::test {

inline QString fixturePath(const char* name) {
    return QDir(QStringLiteral(KERVO_TEST_DATA)).filePath(QString::fromUtf8(name));
}

}  // namespace kervo::test
