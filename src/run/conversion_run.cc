#include "run/conversion_run.h"

#include <optional>
#include <utility>

#include "run/judged_log.h"
#include "run/report.h"
#include "run/set_aside_log.h"
#include "run/station.h"
#include "run/weather_log.h"
#include "run/weather_reading.h"
#include "runtime/file.h"
#include "runtime/line_reader.h"
#include "runtime/run_failure.h"
#include "runtime/text_writer.h"

namespace brinok {

ExitStatus RunConversion() noexcept {
  // Each file but the lock is open within its block only, which also lets
  // the readers' blocks share one place on the stack.
  try {
    // Most starts find no log, nor one set aside; they create nothing, not
    // even the lock.
    if (!NameExists(kWeatherLogName) && !NameExists(kSetAsideName)) {
      return ExitStatus::kNoLog;
    }
    // Starters may overlap (the client, a scheduler): one run at a time
    // converts, and the next opens the log only once it is done.
    const File lock = File::OpenLocked(kLockName, kLockWait);
    // A run killed while it had the log set aside left it there: it goes
    // back before anything else, or gives way to a newer log.
    RestoreSetAsideLog();

    // The check: only a log of exactly seven lines is converted; any other
    // is deleted, unless the weather program has put a new one in its place
    // meanwhile.
    std::optional<File> found = File::OpenInputIfExists(kWeatherLogName);
    if (!found) return ExitStatus::kNoLog;
    // Taken before reading, so that whatever the weather program changes
    // from now on is seen before the log is replaced or deleted.
    JudgedLog judged(found->Identity());
    // The reading's time, which the compacted log and the report carry:
    // every freshness rule downstream reads the report's time, and a log
    // that failing runs have kept for hours must not look new.
    const FileTime reading_time = found->Identity().modified;
    bool seven_lines = false;
    {
      LineReader log(std::move(*found));
      seven_lines = HasSevenLines(log);
      // The bytes judged: a log that holds others is not the one to delete.
      judged.Remember(log);
      log.Close();
    }
    if (!seven_lines) {
      judged.Remove();
      return ExitStatus::kRejected;
    }

    // The compaction: the log without its empty lines takes the log's place,
    // written in full and forced to disk first, so that the reading is never
    // lost; the log goes only once its copy is at its name.
    {
      LineReader log(File::OpenInput(kWeatherLogName));
      TextWriter copy(File::OpenOutput(kScratchName));
      CopyNonEmptyLines(log, copy);
      log.Close();
      copy.Commit(reading_time);
    }
    judged.ReplaceWith(kScratchName);

    // The report, written into the scratch file, dated as the reading and
    // forced to disk.
    {
      LineReader log(File::OpenInput(kWeatherLogName));
      judged.Require(log.Identity());
      TextWriter report(File::OpenOutput(kScratchName));
      const WeatherReading reading = ReadReading(log);
      // The bytes converted, which the log must hold to be deleted at the end.
      judged.Remember(log);
      log.Close();
      WriteReport(reading, report);
      report.Commit(reading_time);
    }

    // The publication: an old report that cannot be written (read-only,
    // locked) ends the run before the report changes; then the new report
    // takes its place in one step, and the folder is synced so the new name
    // lasts.
    if (std::optional<File> old_report =
            File::OpenAppendIfExists(kReportName)) {
      old_report->Close();
    }
    RenameReplacing(kScratchName, kReportName);
    SyncCurrentDirectory();

    // Only now, with the report that carries it on disk, the reading goes;
    // a log written during the run stays for the next one, and a log that
    // another program has removed meanwhile is gone either way.
    judged.RemoveIfUnchanged();
    return ExitStatus::kPublished;
  } catch (...) {
    // The one failure handler, for a failing file or value and for anything
    // else, memory running out included. A writer that was not committed
    // has written out what it held; whatever is on disk now is what the
    // next run finds.
    return ExitStatus::kFailed;
  }
}

}  // namespace brinok
