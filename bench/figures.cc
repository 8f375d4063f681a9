#include "figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace brinok::bench {
namespace {

// A duration with a unit that keeps three or four significant digits.
std::string Duration(std::int64_t nanoseconds) {
  char text[32];
  const double ns = static_cast<double>(nanoseconds);
  if (ns < 1e6) {
    std::snprintf(text, sizeof text, "%.1f us", ns / 1e3);
  } else if (ns < 1e9) {
    std::snprintf(text, sizeof text, "%.2f ms", ns / 1e6);
  } else {
    std::snprintf(text, sizeof text, "%.3f s", ns / 1e9);
  }
  return text;
}

}  // namespace

void Sample::Add(const Outcome& outcome) {
  nanoseconds_.push_back(outcome.nanoseconds);
}

std::int64_t Sample::Rank(double fraction) const {
  if (nanoseconds_.empty()) return 0;
  std::vector<std::int64_t> sorted = nanoseconds_;
  std::sort(sorted.begin(), sorted.end());
  const double at = fraction * static_cast<double>(sorted.size() - 1);
  const auto low = static_cast<std::size_t>(std::floor(at));
  const auto high = static_cast<std::size_t>(std::ceil(at));
  return (sorted[low] + sorted[high]) / 2;
}

std::int64_t Sample::Median() const { return Rank(0.5); }
std::int64_t Sample::Fastest() const { return Rank(0.0); }
std::int64_t Sample::Percentile90() const { return Rank(0.9); }

void PrintRunTable(std::initializer_list<Row> rows) {
  std::printf("  %-11s %11s %11s %11s %9s %12s\n", "", "median", "fastest",
              "90%", "syscalls", "peak memory");
  for (const Row& row : rows) {
    const std::string calls =
        row.syscalls == 0 ? "-" : std::to_string(row.syscalls);
    const std::optional<long> peak = row.sample->PeakKib();
    const std::string memory = peak ? std::to_string(*peak) + " KiB" : "-";
    std::printf("  %-11s %11s %11s %11s %9s %12s\n", row.name,
                Duration(row.sample->Median()).c_str(),
                Duration(row.sample->Fastest()).c_str(),
                Duration(row.sample->Percentile90()).c_str(), calls.c_str(),
                memory.c_str());
  }
}

double Ratio(const Sample& a, const Sample& b) {
  return static_cast<double>(a.Median()) / static_cast<double>(b.Median());
}

void PrintWrapped(const std::vector<std::string>& words,
                  const std::string& indent) {
  constexpr std::size_t kWidth = 79;
  std::string line = indent;
  for (const std::string& word : words) {
    if (line.size() > indent.size() && line.size() + 1 + word.size() > kWidth) {
      std::printf("%s\n", line.c_str());
      line = indent;
    }
    if (line.size() > indent.size()) line += ' ';
    line += word;
  }
  if (line.size() > indent.size()) std::printf("%s\n", line.c_str());
}

std::string Megabytes(std::uintmax_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%g MB", static_cast<double>(bytes) / 1e6);
  return text;
}

}  // namespace brinok::bench
