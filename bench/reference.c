/* The least a conversion run of the bundled sample log has to ask of the
 * kernel: the same opens, reads, flushed and dated writes, syncs, renames and
 * deletions as brinok, with the report written as a constant instead of
 * computed. The benchmark times it side by side with brinok, so the
 * difference is what brinok adds to the work itself. It only handles a log
 * that fits in one read block; anything unexpected ends it with status 1. */

#define _GNU_SOURCE /* flock, renameat2 */

#include <errno.h>
#include <fcntl.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kReadBlock = 64 * 1024, kLogLines = 7 };

static const int kOpenFlags = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
static const char kLogName[] = "QQ9QQ-7.Log";
static const char kScratchName[] = "SWP.TXT";
static const char kReportName[] = "BRINOK.TXT";
static const char kLockName[] = "BRINOK.LCK";
static const char kSetAsideName[] = "BRINOK.DEL";

#define ASTERISKS "*****************************************************\r\n"
static const char kReport[] = ASTERISKS
    "270/005g012t068P012b10132h55\r\n" ASTERISKS
    "* BRINOK.EXE for UI-VIEW32 for Weather Watcher Live *\r\n"
    "* ((( QQ9QQ Amateur Radio Services )))  May/05/2009 *\r\n" ASTERISKS;

/* In zero-filled memory, so no heap and no page is touched beyond use. */
static char block[kReadBlock];
static char compacted[kReadBlock];
static char set_aside[kReadBlock];

/* The times WriteSynced gives each file: the access time as it is, and the
 * log's modification time when the check opened it. */
static struct timespec dates[2] = {{0, UTIME_OMIT}, {0, 0}};

static void Fail(void) { _exit(1); }

/* Sets `modified`, unless it is null, to the file's modification time. */
static int OpenRegular(const char* name, int flags, struct timespec* modified) {
  struct stat status;
  const int fd = open(name, flags | kOpenFlags, 0666);
  if (fd < 0) Fail();
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) Fail();
  if (modified != NULL) *modified = status.st_mtim;
  return fd;
}

/* Made anew: the previous run left none. */
static int OpenScratch(void) {
  return OpenRegular(kScratchName, O_WRONLY | O_CREAT | O_EXCL, NULL);
}

/* A file's identity at its name, looked up as brinok looks up the compacted
 * log's before it takes the log's name; at an open, the regular file check's
 * fstat gives it. */
static void IdentityAt(const char* name) {
  struct stat status;
  if (lstat(name, &status) != 0) Fail();
}

/* The whole log in one read: a short read is its end. */
static size_t ReadLog(int fd) {
  const ssize_t got = read(fd, block, sizeof block);
  if (got < 0 || (size_t)got == sizeof block) Fail();
  return (size_t)got;
}

static void WriteSynced(int fd, const char* data, size_t size) {
  if (write(fd, data, size) != (ssize_t)size || futimens(fd, dates) != 0 ||
      fsync(fd) != 0) {
    Fail();
  }
}

static void Close(int fd) {
  if (close(fd) != 0) Fail();
}

/* Sets the log aside and looks at it there, as brinok does before deleting
 * it: its status, and its first `size` bytes, the ones last read into the
 * block. Returns it open. */
static int SetAside(size_t size) {
  if (rename(kLogName, kSetAsideName) != 0) Fail();
  const int fd = OpenRegular(kSetAsideName, O_RDONLY, NULL);
  if (read(fd, set_aside, size) != (ssize_t)size ||
      memcmp(set_aside, block, size) != 0) {
    Fail();
  }
  return fd;
}

static void DeleteSetAside(int fd) {
  Close(fd);
  if (unlink(kSetAsideName) != 0) Fail();
}

/* The line that starts at `start`: it ends at a CR, which takes an LF right
 * after it along, or at the end of the log. Returns where the next one
 * starts and sets `length` to the line's own length. */
static size_t NextLine(size_t start, size_t size, size_t* length) {
  size_t end = start;
  while (end < size && block[end] != '\r') ++end;
  *length = end - start;
  if (end == size) return size;
  ++end;
  if (end < size && block[end] == '\n') ++end;
  return end;
}

static int CountLines(size_t size) {
  int lines = 0;
  size_t length;
  for (size_t at = 0; at < size; at = NextLine(at, size, &length)) ++lines;
  return lines;
}

/* Copies the non-empty lines, each ended with CR LF. */
static size_t Compact(size_t size) {
  size_t out = 0;
  size_t length;
  for (size_t at = 0, next; at < size; at = next) {
    next = NextLine(at, size, &length);
    if (length == 0) continue;
    memcpy(compacted + out, block + at, length);
    out += length;
    compacted[out++] = '\r';
    compacted[out++] = '\n';
  }
  return out;
}

int main(void) {
  /* A look for the log, and for one a killed run set aside; no log is the
   * most common run of all. */
  struct stat status;
  if (lstat(kLogName, &status) != 0) {
    if (errno != ENOENT) Fail();
    if (lstat(kSetAsideName, &status) == 0 || errno != ENOENT) Fail();
    return 3;
  }
  /* One run at a time: the folder's lock, held to the end. */
  const int lock = OpenRegular(kLockName, O_RDWR | O_CREAT, NULL);
  if (flock(lock, LOCK_EX | LOCK_NB) != 0) Fail();
  /* No log set aside by a killed run. */
  if (open(kSetAsideName, O_RDONLY | kOpenFlags) >= 0 || errno != ENOENT) {
    Fail();
  }

  /* Check. */
  int log = OpenRegular(kLogName, O_RDONLY, &dates[1]);
  size_t size = ReadLog(log);
  Close(log);
  if (CountLines(size) != kLogLines) {
    DeleteSetAside(SetAside(size));
    return 2;
  }

  /* Compaction, and the log replaced by it without replacing a newer one. */
  log = OpenRegular(kLogName, O_RDONLY, NULL);
  int scratch = OpenScratch();
  size = ReadLog(log);
  Close(log);
  WriteSynced(scratch, compacted, Compact(size));
  Close(scratch);
  IdentityAt(kScratchName);
  int set_aside_log = SetAside(size);
  if (renameat2(AT_FDCWD, kScratchName, AT_FDCWD, kLogName,
                RENAME_NOREPLACE) != 0) {
    Fail();
  }
  DeleteSetAside(set_aside_log);

  /* Reading and writing the report. */
  log = OpenRegular(kLogName, O_RDONLY, NULL);
  scratch = OpenScratch();
  size = ReadLog(log);
  Close(log);
  WriteSynced(scratch, kReport, sizeof kReport - 1);
  Close(scratch);

  /* Publication. */
  /* Only an existing report is opened, to find out that it can be written. */
  const int report = open(kReportName, O_WRONLY | O_APPEND | kOpenFlags);
  if (report < 0 && errno != ENOENT) Fail();
  if (report >= 0) {
    struct stat status;
    if (fstat(report, &status) != 0 || !S_ISREG(status.st_mode)) Fail();
    Close(report);
  }
  if (rename(kScratchName, kReportName) != 0) Fail();
  const int dir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0 || fsync(dir) != 0) Fail();
  Close(dir);
  DeleteSetAside(SetAside(size));
  Close(lock);
  return 0;
}
