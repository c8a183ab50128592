#include "app/LooseValue.h"

#include <cmath>

namespace kervo {

LooseValue LooseValue::fromNumber(double value) {
    LooseValue v;
    v.value_ = value;
    return v;
}

LooseValue LooseValue::fromText(QString text) {
    LooseValue v;
    v.value_ = std::move(text);
    return v;
}

LooseValue LooseValue::fromField(const QString& field, bool quoted) {
    if (field.isEmpty()) {
        return quoted ? fromText(QString()) : LooseValue();
    }
    if (!quoted && looksLikeNumber(field)) {
        return fromNumber(field.toDouble());
    }
    return fromText(field);
}

bool looksLikeNumber(const QString& text) {
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        ++i;
    }
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c >= u'0' && c <= u'9') {
            digits = true;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits;
}

QString LooseValue::toText() const {
    if (const auto* text = std::get_if<QString>(&value_)) {
        return *text;
    }
    if (const auto* number = std::get_if<double>(&value_)) {
        if (*number == 0.0) {
            return QStringLiteral("0");  // never "-0"
        }
        return QString::number(*number, 'g', 15);
    }
    return QString();
}

double LooseValue::toNumber() const {
    if (const auto* number = std::get_if<double>(&value_)) {
        return *number;
    }
    if (const auto* text = std::get_if<QString>(&value_)) {
        const QString trimmed = text->trimmed();
        return looksLikeNumber(trimmed) ? trimmed.toDouble() : 0.0;
    }
    return 0.0;
}

}  // namespace kervo
