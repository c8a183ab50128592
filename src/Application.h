#pragma once

#include <QDir>
#include <QString>
#include <memory>
#include <optional>

namespace kervo {

class FormModel;
class Mailbox;
class MainWindow;
class Monitor;
class ProblemLog;

// The running monitor put together: the window's model, the main window, the mailbox,
// the seams and the monitor's handlers, wired the way the program runs them.
class Application {
  public:
    struct Options {
        QDir settingsDir = QDir::current();
        QString mailFolder;         // default: "mail" beside the executable
        Mailbox* mailer = nullptr;  // default: the POP3 mailbox
    };

    explicit Application(Options options);
    ~Application();

    // Runs the start-up. On a settings error: the modal message, the same text on standard
    // error, and the exit status to end with.
    std::optional<int> start();

    FormModel& form();
    MainWindow& window();
    Monitor& monitor();
    bool pollInFlight() const;

  private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace kervo
