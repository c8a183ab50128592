#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <utility>

#include "settings/Settings.h"

namespace kervo::fuzz {

// Both settings files in one fuzz input: the bytes before the first marker are kervo.ini, the
// bytes after it server.ini (empty when there is no marker).
inline constexpr char kServerIniMarker[] = "<<server.ini>>";
std::pair<QByteArray, QByteArray> splitSettingsInput(QByteArrayView input);
QByteArray joinSettingsInput(const QByteArray& kervoIni, const QByteArray& serverIni);

// Reads the two files from memory through the settings reader's own parsing, without touching
// the disk, so that a fuzzer can run it many thousand times a second.
SettingsRead readSettingsBytes(const QByteArray& kervoIni, const QByteArray& serverIni);

// Empty when both results agree on everything a caller sees (every value read, or the failing
// file and line), otherwise what differs.
QString compareSettingsReads(const SettingsRead& left, const SettingsRead& right);

}  // namespace kervo::fuzz
