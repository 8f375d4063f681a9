// Reads a number from arbitrary text and writes numbers back as text: the
// reading fails only by overflow, the written text reads back as the number
// rounded to 15 significant digits (whole numbers below 1E+15 exactly), and
// the comparison reading either refuses a text or agrees with the plain one.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "runtime/number_text.h"
#include "runtime/run_failure.h"

namespace {

using ::brinok::FailureKind;
using ::brinok::GreatestInteger;
using ::brinok::NumberForComparison;
using ::brinok::NumberFromText;
using ::brinok::PlainText;
using ::brinok::RunFailure;
using ::brinok::SignedText;
using ::brinok::fuzz::Check;
using ::brinok::fuzz::RoundTo15Digits;

constexpr double kExactLimit = 1e15;

// The number read from `text`, or nothing when the reading overflowed.
std::optional<double> Read(std::string_view text) {
  try {
    return NumberFromText(text);
  } catch (const RunFailure& failure) {
    Check(failure.kind() == FailureKind::kOverflow,
          "number from text fails only by overflow");
    return std::nullopt;
  }
}

// The comparison reading of `text`, or nothing when it refused the text.
std::optional<double> ReadForComparison(std::string_view text) {
  try {
    return NumberForComparison(text);
  } catch (const RunFailure& failure) {
    Check(failure.kind() == FailureKind::kTypeMismatch ||
              failure.kind() == FailureKind::kOverflow,
          "comparison reading fails only by type mismatch or overflow");
    return std::nullopt;
  }
}

void CheckComparisonAgrees(std::string_view text) {
  const std::optional<double> compared = ReadForComparison(text);
  if (!compared) return;
  const std::optional<double> read = Read(text);
  Check(read.has_value() && *read == *compared,
        "a text the comparison accepts reads as the same number");
}

bool IsDigits(std::string_view text) {
  return !text.empty() &&
         text.find_first_not_of("0123456789") == std::string_view::npos;
}

void CheckWrittenText(double value) {
  if (!std::isfinite(value)) return;
  const std::string text = SignedText(value);
  Check(text.size() >= 2 && text[0] == (value < 0 ? '-' : ' '),
        "a sign position leads the text");
  const std::string plain = PlainText(value);
  Check(plain == (text[0] == ' ' ? text.substr(1) : text),
        "plain text is the signed text without its space");

  const double rounded = RoundTo15Digits(value);
  const std::optional<double> read_back = Read(text);
  if (std::isinf(rounded)) {
    // Rounding up past the largest double gives a text beyond the range.
    Check(!read_back.has_value(), "a text beyond the range overflows");
    return;
  }
  Check(read_back.has_value() && *read_back == rounded,
        "the text reads back as the value rounded to 15 digits");
  const bool whole = value == std::floor(value);
  if (whole && std::fabs(value) < kExactLimit) {
    Check(*read_back == value, "a whole number below 1E+15 reads back exactly");
    Check(IsDigits(plain.substr(value < 0 ? 1 : 0)),
          "a whole number below 1E+15 is written as digits");
  }

  // The wind padding compares these texts with numbers; the zero-padded
  // form of a negative number is no number.
  const std::optional<double> compared = ReadForComparison(text);
  Check(compared.has_value() && *compared == *read_back,
        "the comparison reads a signed text as the number it shows");
  const std::optional<double> padded = ReadForComparison("00" + plain);
  if (value < 0) {
    Check(!padded.has_value(), "a zero-padded negative number is no number");
  } else {
    Check(padded.has_value() && *padded == *read_back,
          "zeros in front do not change the value");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckComparisonAgrees(text);
  if (const std::optional<double> value = Read(text)) {
    CheckWrittenText(*value);
    CheckWrittenText(GreatestInteger(*value));
  }
  // The same bytes as a double reach values no text of a log would spell.
  if (size >= sizeof(double)) {
    double raw;
    std::memcpy(&raw, data, sizeof raw);
    CheckWrittenText(raw);
    CheckWrittenText(GreatestInteger(raw));
  }
  return 0;
}
