#include "mail/ReadAhead.h"

namespace kervo {

qint64 ReadAhead::bytesOf(const Mail& mail) {
    const qint64 chars = mail.element.size() + (mail.read.ok() ? mail.read.value().subject.size() +
                                                                     mail.read.value().body.size()
                                                               : mail.read.error().message.size());
    return chars * qint64(sizeof(QChar));
}

bool ReadAhead::put(Mail mail, bool& wasEmpty) {
    const qint64 bytes = bytesOf(mail);
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] {
        return stopped_ || mails_.empty() ||
               (qsizetype(mails_.size()) < maxMails_ && bytes_ + bytes <= maxBytes_);
    });
    if (stopped_) {
        return false;
    }
    wasEmpty = mails_.empty();
    mails_.push_back(std::move(mail));
    bytes_ += bytes;
    return true;
}

void ReadAhead::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
}

ReadAhead::Taken ReadAhead::take() {
    Taken taken;
    bool wakeReader = false;
    {
        std::unique_lock lock(mutex_, std::try_to_lock);
        if (!lock.owns_lock()) {
            taken.busy = true;
            return taken;
        }
        if (mails_.empty()) {
            taken.drained = closed_;
            return taken;
        }
        taken.mail = std::move(mails_.front());
        mails_.pop_front();
        bytes_ -= bytesOf(*taken.mail);
        // The reader resumes once half the room is free again, and then reads a run of mails,
        // rather than waking for every mail taken.
        wakeReader = mails_.empty() ||
                     (qsizetype(mails_.size()) <= maxMails_ / 2 && bytes_ <= maxBytes_ / 2);
    }
    if (wakeReader) {
        room_.notify_all();
    }
    return taken;
}

void ReadAhead::reopen() {
    std::lock_guard lock(mutex_);
    mails_.clear();
    bytes_ = 0;
    closed_ = false;
}

void ReadAhead::stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    room_.notify_all();
}

void SavedMailQueue::add(const QStringList& files) {
    {
        std::lock_guard lock(mutex_);
        for (const QString& file : files) {
            told_.insert(file);
            waiting_.push_back(file);
        }
    }
    changed_.notify_one();
}

void SavedMailQueue::finish(const QStringList& listed) {
    {
        std::lock_guard lock(mutex_);
        for (const QString& file : listed) {
            if (!told_.contains(file)) {
                waiting_.push_back(file);
            }
        }
        finished_ = true;
    }
    changed_.notify_one();
}

std::optional<QString> SavedMailQueue::next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return finished_ || !waiting_.empty(); });
    if (waiting_.empty()) {
        return std::nullopt;
    }
    QString file = std::move(waiting_.front());
    waiting_.pop_front();
    return file;
}

}  // namespace kervo
