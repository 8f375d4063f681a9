#ifndef BRINOK_RUNTIME_RUN_VALUE_H_
#define BRINOK_RUNTIME_RUN_VALUE_H_

#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace brinok {

/// A working value of the run: a number, a text or a truth value, and which
/// of the three it is. Comparing it with a number converts a text with
/// NumberForComparison, so a text that is not a number raises RunFailure.
class RunValue {
 public:
  explicit RunValue(double number) : value_(number) {}
  explicit RunValue(std::string text) : value_(std::move(text)) {}
  explicit RunValue(bool truth) : value_(truth) {}

  bool IsText() const { return std::holds_alternative<std::string>(value_); }
  /// The text held; a number gives its plain text.
  std::string Text() const;
  /// The value as a number: a truth value is -1 or 0.
  double Number() const;

  bool operator==(double constant) const { return Number() == constant; }
  bool operator<(double constant) const { return Number() < constant; }
  bool operator>(double constant) const { return Number() > constant; }
  bool operator<=(double constant) const { return Number() <= constant; }
  bool operator>=(double constant) const { return Number() >= constant; }

 private:
  std::variant<double, std::string, bool> value_;
};

/// The absolute value, as a number.
RunValue Absolute(const RunValue& value);

}  // namespace brinok

#endif  // BRINOK_RUNTIME_RUN_VALUE_H_
