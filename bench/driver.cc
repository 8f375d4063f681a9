// Times whole runs of brinok against what their system calls alone cost, and
// its handling of oversized logs against `wc -l` on the same file. Prints
// figures; judging them is left to the reader.
//
//   brinok_bench [--quick] BRINOK REFERENCE SAMPLE_LOG

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_files.h"
#include "figures.h"
#include "syscall_trace.h"
#include "timed_process.h"

namespace brinok::bench {
namespace {

constexpr char kLogName[] = "QQ9QQ-7.Log";
constexpr char kScratchName[] = "SWP.TXT";
constexpr char kReportName[] = "BRINOK.TXT";

// Exit statuses of brinok that the runs below expect.
constexpr int kPublished = 0;
constexpr int kFailed = 1;
constexpr int kRejected = 2;

struct Options {
  std::string brinok;
  std::string reference;
  std::string sample_log;
  bool quick = false;
};

struct Counts {
  int normal_runs;  // of each program
  int big_runs;     // of each program on each oversized log
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      options.quick = true;
    } else {
      paths.emplace_back(argv[i]);
    }
  }
  if (paths.size() != 3) {
    throw std::runtime_error(
        "usage: brinok_bench [--quick] BRINOK REFERENCE SAMPLE_LOG");
  }
  // The runs happen in the work directory, so the programs need full paths.
  options.brinok = AbsolutePath(paths[0]);
  options.reference = AbsolutePath(paths[1]);
  options.sample_log = AbsolutePath(paths[2]);
  return options;
}

const char* LinkKind(const std::string& program) {
  return LinkedStatically(program) ? "linked statically" : "linked dynamically";
}

void Expect(bool holds, const std::string& what) {
  if (!holds) throw std::runtime_error(what);
}

void ExpectStatus(const Outcome& outcome, int status, const std::string& who) {
  Expect(outcome.exit_status == status,
         who + " ended with status " + std::to_string(outcome.exit_status) +
             ", expected " + std::to_string(status));
}

// One run of `program` on a fresh copy of the sample log, checked to have
// published `report` (or, when that is empty, any report).
Outcome NormalRun(const std::string& program, const std::string& log,
                  const std::string& report, const std::string& who) {
  WriteFile(kLogName, log);
  const Outcome outcome = RunTimed({program});
  ExpectStatus(outcome, kPublished, who);
  Expect(!Exists(kLogName) && !Exists(kScratchName),
         who + " left the log or the scratch file behind");
  Expect(report.empty() || ReadFile(kReportName) == report,
         who + " published a different report");
  return outcome;
}

void NormalRuns(const Options& options, const Counts& counts) {
  const std::string log = ReadFile(options.sample_log);
  // The first runs publish the report that every later run replaces, and
  // check that the reference program writes exactly what brinok writes.
  NormalRun(options.brinok, log, "", "brinok");
  const std::string report = ReadFile(kReportName);
  NormalRun(options.reference, log, report, "the reference program");

  Sample brinok;
  Sample reference;
  for (int i = 0; i < counts.normal_runs; ++i) {
    // Each takes the first turn every other time, so neither always follows
    // the other's clean-up.
    for (int turn = 0; turn < 2; ++turn) {
      if ((i + turn) % 2 == 0) {
        brinok.Add(NormalRun(options.brinok, log, report, "brinok"));
      } else {
        reference.Add(NormalRun(options.reference, log, report, "reference"));
      }
    }
  }

  WriteFile(kLogName, log);
  brinok.SetPeakKib(PeakResidentKib({options.brinok}));
  WriteFile(kLogName, log);
  reference.SetPeakKib(PeakResidentKib({options.reference}));

  std::vector<std::string> brinok_calls;
  std::vector<std::string> reference_calls;
  if (!FindInPath("strace").empty()) {
    WriteFile(kLogName, log);
    brinok_calls = TraceSyscalls(options.brinok, "brinok.strace").value();
    Expect(!Exists(kLogName), "brinok did not finish under strace");
    WriteFile(kLogName, log);
    reference_calls =
        TraceSyscalls(options.reference, "reference.strace").value();
    Expect(!Exists(kLogName), "the reference did not finish under strace");
  }

  std::printf("\nNormal run on the sample log: %d runs of each, alternating\n",
              counts.normal_runs);
  PrintRunTable({{"brinok", &brinok, brinok_calls.size()},
                 {"reference", &reference, reference_calls.size()}});
  std::printf(
      "  ratio of medians, brinok / reference: %.3f (aim: 1.10 at most)\n",
      Ratio(brinok, reference));
  if (brinok_calls.empty()) {
    std::printf("  (strace is not installed: no system call counts)\n");
  } else {
    std::printf("  brinok's system calls, in order:\n");
    PrintWrapped(brinok_calls, "    ");
  }
}

// Runs brinok and `wc -l` alternately on the log that `restore` puts in
// place (told whether brinok runs next), checks each run of brinok with
// `check`, and prints both with their ratio.
template <typename Restore, typename Check>
Sample CompareWithWc(const std::string& title, const std::string& aim,
                     const Options& options, const Counts& counts,
                     long log_lines, std::uintmax_t log_bytes, Restore restore,
                     Check check) {
  const std::string wc = FindInPath("wc");
  Expect(!wc.empty(), "wc is not installed");
  Sample brinok;
  Sample word_count;
  for (int i = 0; i < counts.big_runs; ++i) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool brinok_turn = (i + turn) % 2 == 0;
      restore(brinok_turn);
      if (brinok_turn) {
        const Outcome run = RunTimed({options.brinok});
        check(run);
        brinok.Add(run);
      } else {
        const Outcome counted = RunTimed({wc, "-l", kLogName}, "wc.out");
        ExpectStatus(counted, 0, "wc -l");
        word_count.Add(counted);
      }
    }
  }
  Expect(ReadFile("wc.out").starts_with(std::to_string(log_lines) + " "),
         "wc -l counted a different number of lines");
  restore(true);
  brinok.SetPeakKib(PeakResidentKib({options.brinok}));
  restore(false);
  word_count.SetPeakKib(PeakResidentKib({wc, "-l", kLogName}, "wc.out"));
  std::printf("\n%s: %d runs of each\n", title.c_str(), counts.big_runs);
  PrintRunTable({{"brinok", &brinok, 0}, {"wc -l", &word_count, 0}});
  std::printf("  ratio of medians, brinok / wc -l: %.3f%s\n",
              Ratio(brinok, word_count), aim.c_str());
  std::printf(
      "  brinok's median per byte of log: %.3f ns\n",
      static_cast<double>(brinok.Median()) / static_cast<double>(log_bytes));
  return brinok;
}

void ManyLines(const Options& options, const Counts& counts) {
  // 10 bytes a line: 100 MB.
  constexpr long kLines = 10'000'000;
  const std::string source = "many-lines.src";
  const std::uintmax_t bytes = WriteRepeated(source, "12345678\r\n", kLines);
  CompareWithWc(
      "Rejecting a log of 10,000,000 lines (" + Megabytes(bytes) + ")",
      " (aim: 3 at most, in 8 MiB at most)", options, counts, kLines, bytes,
      [&](bool for_brinok) {
        // brinok's rejection deletes the log, and that includes freeing its
        // pages, so it gets a copy; wc -l only reads it.
        if (for_brinok) {
          CopyAs(source, kLogName);
        } else {
          LinkAs(source, kLogName);
        }
      },
      [](const Outcome& run) {
        ExpectStatus(run, kRejected, "brinok");
        Expect(!Exists(kLogName), "brinok kept a log it rejected");
      });
  RemoveIfExists(kLogName);
  RemoveIfExists(source);
}

void LongLines(const Options& options, const Counts& counts) {
  Sample previous;
  std::uintmax_t previous_bytes = 0;
  for (const long line_length : {5'000'000L, 10'000'000L}) {
    const std::string source = "long-lines.src";
    // Digits: the log passes the check and the compaction, and the run
    // fails on a number beyond the double range.
    const std::uintmax_t bytes =
        WriteRepeated(source, std::string(line_length, '1') + "\r\n", 7);
    const Sample run = CompareWithWc(
        "Seven lines of " + Megabytes(line_length) + " (" + Megabytes(bytes) +
            "; passes the check, the run fails on the number)",
        "", options, counts, 7, bytes,
        [&](bool) {
          // The run replaces the log by its compacted copy and keeps it, so
          // a second name of the source will do.
          RemoveIfExists(kLogName);
          RemoveIfExists(kScratchName);
          LinkAs(source, kLogName);
        },
        [](const Outcome& run) {
          ExpectStatus(run, kFailed, "brinok");
          // Failing after the compaction, it leaves the compacted copy as
          // the log and the scratch file empty.
          Expect(Exists(kLogName) && Exists(kScratchName) &&
                     ReadFile(kScratchName).empty(),
                 "brinok did not fail where a log of huge numbers fails");
        });
    if (previous_bytes != 0) {
      std::printf(
          "  time per byte against the log half this size: %.2fx (aim: "
          "linear, that is about 1)\n",
          (static_cast<double>(run.Median()) / static_cast<double>(bytes)) /
              (static_cast<double>(previous.Median()) /
               static_cast<double>(previous_bytes)));
    }
    previous = run;
    previous_bytes = bytes;
    RemoveIfExists(kLogName);
    RemoveIfExists(kScratchName);
    RemoveIfExists(source);
  }
}

int Main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  const Counts counts = options.quick ? Counts{30, 1} : Counts{1000, 7};
  // Room for the two oversized logs and brinok's compacted copy.
  const WorkDir work(512ull << 20);
  std::printf("brinok benchmark%s\n", options.quick ? " (quick)" : "");
  std::printf("  work directory: %s (%s)\n", work.path().c_str(),
              work.ram_backed() ? "RAM-backed" : "NOT RAM-backed");
  std::printf("  brinok:    %s (%s)\n", options.brinok.c_str(),
              LinkKind(options.brinok));
  std::printf(
      "  reference: %s (%s)\n"
      "             a C program that makes the same system calls as brinok,\n"
      "             with the report hard-coded\n",
      options.reference.c_str(), LinkKind(options.reference));
  std::printf(
      "  times: from spawn to wait; memory: the program's own peak resident\n"
      "  memory (VmHWM as it exits; ru_maxrss would include this driver)\n");
  work.Enter("normal");
  NormalRuns(options, counts);
  work.Enter("oversized");
  ManyLines(options, counts);
  LongLines(options, counts);
  return 0;
}

}  // namespace
}  // namespace brinok::bench

int main(int argc, char** argv) {
  try {
    return brinok::bench::Main(argc, argv);
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "brinok_bench: %s\n", error.what());
    return 1;
  }
}
