#pragma once

#include <QString>
#include <variant>

namespace kervo {

// A settings value that holds nothing yet, a number or a text. The settings files decide which:
// an unquoted field that looks like a number becomes one, so an unquoted 007 reads back as "7"
// while a quoted "007" stays as written.
class LooseValue {
  public:
    LooseValue() = default;
    static LooseValue fromNumber(double value);
    static LooseValue fromText(QString text);
    // How a field read from a settings file becomes a value: empty leaves it empty, an unquoted
    // number (optional sign, digits, optional decimal point) becomes a number, the rest text.
    static LooseValue fromField(const QString& field, bool quoted);

    bool isEmpty() const { return std::holds_alternative<std::monostate>(value_); }
    bool isNumber() const { return std::holds_alternative<double>(value_); }
    bool isText() const { return std::holds_alternative<QString>(value_); }

    // Empty counts as "", a number takes its plain decimal form.
    QString toText() const;
    // Empty counts as 0; a text that is not a number counts as 0 as well.
    double toNumber() const;
    // The number rounded to a whole number, halves to even (2.5 gives 2, 3.5 gives 4).
    long long toWhole() const;

    bool operator==(const LooseValue& other) const = default;

  private:
    std::variant<std::monostate, double, QString> value_;
};

// True when the text is an optional sign, digits and an optional decimal point, with at least
// one digit.
bool looksLikeNumber(const QString& text);

}  // namespace kervo
