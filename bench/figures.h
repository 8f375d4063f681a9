#ifndef BRINOK_BENCH_FIGURES_H_
#define BRINOK_BENCH_FIGURES_H_

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "timed_process.h"

namespace brinok::bench {

/// The timed runs of one program.
class Sample {
 public:
  void Add(const Outcome& outcome);
  /// Records the program's peak resident memory, when it was measured.
  void SetPeakKib(std::optional<long> kib) { peak_kib_ = kib; }
  /// Run times in nanoseconds; 0 for an empty sample.
  std::int64_t Median() const;
  std::int64_t Fastest() const;
  std::int64_t Percentile90() const;
  std::optional<long> PeakKib() const { return peak_kib_; }

 private:
  std::int64_t Rank(double fraction) const;

  std::vector<std::int64_t> nanoseconds_;
  std::optional<long> peak_kib_;
};

/// A line of a table: a program, its runs and its system calls per run (0
/// when they were not counted).
struct Row {
  const char* name;
  const Sample* sample;
  std::size_t syscalls;
};

/// Prints a table of median, fastest and 90th percentile times, system
/// calls and peak memory.
void PrintRunTable(std::initializer_list<Row> rows);

/// The median of `a` over the median of `b`.
double Ratio(const Sample& a, const Sample& b);

/// The words on lines of at most 79 characters, each starting with `indent`.
void PrintWrapped(const std::vector<std::string>& words,
                  const std::string& indent);

/// A size in decimal megabytes, such as "100 MB".
std::string Megabytes(std::uintmax_t bytes);

}  // namespace brinok::bench

#endif  // BRINOK_BENCH_FIGURES_H_
