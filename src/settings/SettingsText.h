#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "app/Result.h"

namespace kervo {

// A settings file's bytes as text: UTF-8 when the bytes are valid UTF-8 (a leading byte-order
// mark is dropped), CP932 otherwise: settings with Japanese rules and server names are often
// saved in it, and no other encoding we meet leaves bytes that are not UTF-8. An error when the
// bytes are not UTF-8 and no CP932 decoder is available.
Result<QString> decodeSettingsText(const QByteArray& bytes);

// One field as it stood in the file.
struct SettingsField {
    QString text;
    bool quoted = false;
};

// Why a field could not be read.
enum class FieldFault {
    NothingLeft,    // the file ended before the field began
    UnclosedQuote,  // a double quote opened the field and no second one follows
};

// Reads a settings text from the front, as whole lines and as comma-separated fields, and
// keeps count of the line it stands on so that errors can name it.
//
// Line ends: CR LF, CR alone and LF alone all end a line, for whole lines and fields alike;
// files saved by different editors then read the same.
//
// Fields, where the file format leaves a choice:
// - blanks (spaces and tabs) before a field are skipped;
// - blanks at the end of an unquoted field are dropped, so "R1 , x" reads R1 and x;
// - a quoted field runs to the next double quote, line ends included; anything between the
//   closing quote and the next delimiter is ignored;
// - a comma always announces one more field: a comma right at the end of the file gives a
//   last empty field, just as it would with a line end after it.
class SettingsCursor {
  public:
    explicit SettingsCursor(QString text) : text_(std::move(text)) {}

    // 1-based line of the next character to read.
    int line() const { return line_; }

    // True when nothing but white space is left. A blank line or a few spaces after the last
    // record do not start another record.
    bool onlyWhiteSpaceLeft() const;

    // Everything up to the next line end, exactly as written; the line end is consumed. Nothing
    // when the file has no character left.
    std::optional<QString> readLine();

    // The next field; its closing comma or line end is consumed with it. On a fault nothing is
    // consumed and line() stays where the field began.
    Result<SettingsField, FieldFault> readField();

  private:
    bool atLineEnd() const;
    bool atDelimiter() const;
    void consumeLineEnd();
    void consumeDelimiter();

    QString text_;
    qsizetype pos_ = 0;
    int line_ = 1;
    bool afterComma_ = false;
};

}  // namespace kervo
