#pragma once

#include <QDir>
#include <QString>
#include <memory>
#include <optional>

namespace kervo {

class Mailbox;
class MailPush;
class MainWindow;
class Monitor;
class OperatorDesk;
class ProblemLog;
class WindowModel;

// The running program put together: the monitor, its window and the real clock, sound, process
// starting and mail component in place of the tests' stand-ins.
class Application {
  public:
    struct Options {
        QDir settingsDir = QDir::current();
        QString mailFolder;          // default: "mail" beside the executable
        Mailbox* mailbox = nullptr;  // default: the POP3 or IMAP mailbox of line 6
        QString journalFile;         // default: as KERVO_JOURNAL or the data folder says
        bool keepJournal = true;     // false: nothing recorded, for the benchmark's comparison
        MailPush* push = nullptr;    // word of new mail between the ticks (outlives this); default:
                                     // the IMAP IDLE watcher, which stays off for POP3
    };

    explicit Application(Options options);
    ~Application();

    // Runs the start-up. On a settings error: the modal message, the same text on standard
    // error, and the exit status to end with.
    std::optional<int> start();

    WindowModel& model();
    MainWindow& window();
    Monitor& monitor();
    OperatorDesk& desk();
    bool pollInFlight() const;

  private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace kervo
