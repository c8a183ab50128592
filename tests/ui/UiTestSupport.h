#pragma once

#include <QObject>
#include <QWidget>
#include <stdexcept>

namespace kervo::test {

// A control of a window by its design name; throws so that a missing control fails the test
// with its name rather than crashing it.
template <typename T = QWidget>
T* control(const QObject& window, const QString& name) {
    T* found = window.findChild<T*>(name);
    if (found == nullptr) {
        throw std::runtime_error("no control " + name.toStdString());
    }
    return found;
}

}  // namespace kervo::test
