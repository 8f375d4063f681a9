// Reads a number from arbitrary text and writes numbers back as text: the
// reading fails only by overflow, the written text reads back as the number
// rounded to 15 significant digits (whole numbers below 1E+15 exactly), and
// the plain text is the signed one without its space.

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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const std::optional<double> value = Read(text)) {
    CheckWrittenText(*value);
    CheckWrittenText(std::floor(*value));
  }
  // The same bytes as a double reach values no text of a log would spell.
  if (size >= sizeof(double)) {
    double raw;
    std::memcpy(&raw, data, sizeof raw);
    CheckWrittenText(raw);
    CheckWrittenText(std::floor(raw));
  }
  return 0;
}
