#pragma once

// How values show in test names and failure messages. Table rows (parameterised cases) carry a
// `name` in `scenario_expectedOutcome` style: the test is named after it and a listing shows it
// instead of the row's bytes.
#include <gtest/gtest.h>

#include <QString>
#include <concepts>
#include <ostream>
#include <string>

// Qt strings as text rather than bytes.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kervo::test {

// Brought into a test's namespace with `using kervo::test::PrintTo;`.
template <typename Row>
requires requires(const Row& row) {
    { row.name } -> std::convertible_to<const char*>;
}
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

// The last argument of INSTANTIATE_TEST_SUITE_P.
inline constexpr auto rowName = [](const auto& info) { return std::string(info.param.name); };

}  // namespace kervo::test
