#pragma once

#include <QString>
#include <optional>
#include <utility>
#include <variant>

namespace kervo {

// What went wrong, in words fit for the operator: it names the file, the server or the setting
// at fault and what was expected there.
struct Error {
    QString message;
};

// The one way a fallible call answers: a value, or the Error that stands in its place. Nothing
// throws across a library boundary, no empty string stands for success and no out-parameter
// carries a failure.
//
//     Result<QImage> picture = loadPicture(path);
//     if (!picture.ok()) {
//         log.report(picture.error().message);
//     }
template <typename T, typename E = Error>
class [[nodiscard]] Result {
  public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit
    Result(E error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit

    bool ok() const { return state_.index() == 0; }
    const T& value() const& { return std::get<0>(state_); }
    T& value() & { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const E& error() const { return std::get<1>(state_); }

  private:
    std::variant<T, E> state_;
};

// A call that gives nothing back but may fail: `return {};` on success.
template <typename E>
class [[nodiscard]] Result<void, E> {
  public:
    Result() = default;
    Result(E error) : error_(std::move(error)) {}  // NOLINT: implicit

    bool ok() const { return !error_.has_value(); }
    const E& error() const { return *error_; }

  private:
    std::optional<E> error_;
};

}  // namespace kervo
