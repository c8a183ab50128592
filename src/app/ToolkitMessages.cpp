#include "app/ToolkitMessages.h"

#include <atomic>

namespace kervo {

namespace {

// The handler the toolkit calls is a plain function; it finds the object through this.
std::atomic<ToolkitMessages*> current{nullptr};

}  // namespace

ToolkitMessages::ToolkitMessages(ProblemLog& log) : log_(log) {
    current.store(this);
    previous_ = qInstallMessageHandler(&ToolkitMessages::handle);
}

ToolkitMessages::~ToolkitMessages() {
    qInstallMessageHandler(previous_);
    current.store(nullptr);
}

void ToolkitMessages::handle(QtMsgType type, const QMessageLogContext& /*context*/,
                             const QString& text) {
    if (ToolkitMessages* self = current.load()) {
        self->take(type, text);
    }
}

void ToolkitMessages::take(QtMsgType type, const QString& text) {
    if (type == QtDebugMsg || type == QtInfoMsg) {
        return;
    }
    {
        const QMutexLocker lock(&mutex_);
        // A bounded memory of what was said: a flood of distinct texts is logged, never kept.
        if (said_.contains(text)) {
            return;
        }
        if (said_.size() < 1000) {
            said_.insert(text);
        }
    }
    log_.report(QStringLiteral("toolkit: ") + text);
}

}  // namespace kervo
