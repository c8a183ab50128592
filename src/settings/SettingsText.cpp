#include "settings/SettingsText.h"

#include <QStringDecoder>

namespace kervo {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

}  // namespace

Result<QString> decodeSettingsText(const QByteArray& bytes) {
    QByteArrayView view(bytes);
    const bool bom = view.startsWith(QByteArrayView("\xEF\xBB\xBF", 3));
    if (bom) {
        view = view.sliced(3);
    }
    // Stateless so that the decoder neither keeps nor swallows anything across calls; the mark
    // is already gone.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view);
    if (bom || !utf8.hasError()) {
        return text;
    }
    // ICU knows CP932 under several names; its Shift_JIS is the same table here, but the
    // Windows name is the one that promises the NEC and IBM extensions (①, ⅰ) and ～ as FF5E.
    for (const char* name : {"windows-31j", "cp932", "Shift_JIS"}) {
        QStringDecoder cp932(name);
        if (cp932.isValid()) {
            return QString(cp932.decode(bytes));
        }
    }
    return Error{
        QStringLiteral("the file is not UTF-8, and this system has no CP932 (Shift-JIS) "
                       "decoder to read it otherwise")};
}

bool SettingsCursor::onlyWhiteSpaceLeft() const {
    for (qsizetype i = pos_; i < text_.size(); ++i) {
        if (!text_[i].isSpace()) {
            return false;
        }
    }
    return true;
}

bool SettingsCursor::atLineEnd() const {
    return pos_ < text_.size() && (text_[pos_] == u'\r' || text_[pos_] == u'\n');
}

bool SettingsCursor::atDelimiter() const {
    return atLineEnd() || (pos_ < text_.size() && text_[pos_] == u',');
}

void SettingsCursor::consumeLineEnd() {
    if (text_[pos_] == u'\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == u'\n') {
        ++pos_;
    }
    ++pos_;
    ++line_;
}

void SettingsCursor::consumeDelimiter() {
    afterComma_ = false;
    if (pos_ >= text_.size()) {
        return;
    }
    if (text_[pos_] == u',') {
        ++pos_;
        afterComma_ = true;
    } else {
        consumeLineEnd();
    }
}

std::optional<QString> SettingsCursor::readLine() {
    afterComma_ = false;
    if (pos_ >= text_.size()) {
        return std::nullopt;
    }
    const qsizetype start = pos_;
    while (pos_ < text_.size() && !atLineEnd()) {
        ++pos_;
    }
    QString line = text_.mid(start, pos_ - start);
    if (pos_ < text_.size()) {
        consumeLineEnd();
    }
    return line;
}

Result<SettingsField, FieldFault> SettingsCursor::readField() {
    const qsizetype begin = pos_;
    while (pos_ < text_.size() && isBlank(text_[pos_])) {
        ++pos_;
    }
    if (pos_ >= text_.size()) {
        if (afterComma_) {
            afterComma_ = false;
            return SettingsField{};
        }
        pos_ = begin;
        return FieldFault::NothingLeft;
    }

    if (text_[pos_] != u'"') {
        const qsizetype start = pos_;
        while (pos_ < text_.size() && !atDelimiter()) {
            ++pos_;
        }
        qsizetype end = pos_;
        while (end > start && isBlank(text_[end - 1])) {
            --end;
        }
        SettingsField field{text_.mid(start, end - start), false};
        consumeDelimiter();
        return field;
    }

    const qsizetype close = text_.indexOf(u'"', pos_ + 1);
    if (close < 0) {
        pos_ = begin;
        return FieldFault::UnclosedQuote;
    }
    SettingsField field{text_.mid(pos_ + 1, close - pos_ - 1), true};
    // Count the line ends inside the quotes so that later errors still name the right line.
    while (pos_ < close) {
        if (atLineEnd()) {
            consumeLineEnd();
        } else {
            ++pos_;
        }
    }
    pos_ = close + 1;
    while (pos_ < text_.size() && !atDelimiter()) {
        ++pos_;
    }
    consumeDelimiter();
    return field;
}

}  // namespace kervo
