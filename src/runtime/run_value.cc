#include "runtime/run_value.h"

#include <cmath>

#include "runtime/number_text.h"

namespace brinok {

std::string RunValue::Text() const {
  if (const auto* text = std::get_if<std::string>(&value_)) return *text;
  return PlainText(Number());
}

double RunValue::Number() const {
  if (const auto* number = std::get_if<double>(&value_)) return *number;
  if (const auto* text = std::get_if<std::string>(&value_)) {
    return NumberForComparison(*text);
  }
  return std::get<bool>(value_) ? -1.0 : 0.0;
}

RunValue Absolute(const RunValue& value) {
  return RunValue(std::fabs(value.Number()));
}

}  // namespace brinok
