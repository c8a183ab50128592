#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include "app/Result.h"

namespace kervo {

// How long the fetch waits, in milliseconds.
struct MailTimeouts {
    int connectMs = 20'000;   // connecting, TLS and log-on together
    int responseMs = 60'000;  // each answer to a command
    int stallMs = 60'000;     // a mail being transferred that stops sending
    // A session whose server sends less than floorBytesPerSecond over floorWindowMs of waiting
    // is ended: a peer that drips a line a minute would otherwise hold every later poll.
    int floorBytesPerSecond = 1000;
    int floorWindowMs = 60'000;
};

struct Received {
    enum class Status { Data, Closed, TimedOut, Failed };
    Status status = Status::Failed;
    qsizetype bytes = 0;  // > 0 with Data
    QString error;        // with Failed
};

// The byte stream of a logged-on mail session (POP3 or IMAP). Kept abstract so that the dialogue
// can be driven by a scripted peer.
class MailChannel {
  public:
    virtual ~MailChannel() = default;
    // Sends every byte; an Error when that did not happen within timeoutMs.
    virtual Result<void> sendAll(QByteArrayView bytes, int timeoutMs) = 0;
    // Waits up to timeoutMs for at least one byte and returns what is there, up to max.
    virtual Received receive(char* buffer, qsizetype max, int timeoutMs) = 0;
};

// Where a retrieved mail goes, piece by piece.
class MailSink {
  public:
    virtual ~MailSink() = default;
    // An Error when the bytes could not be kept. The transfer is then read to its end and
    // dropped, so that the session stays usable for the commands that follow.
    virtual Result<void> write(const char* data, qsizetype size) = 0;
};

}  // namespace kervo
