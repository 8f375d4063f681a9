#include "bench_files.h"

#include <elf.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace brinok::bench {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

bool HasRoom(const std::string& dir, std::uintmax_t bytes) {
  struct statvfs status;
  if (statvfs(dir.c_str(), &status) != 0) return false;
  return std::uintmax_t{status.f_bavail} * status.f_frsize >= bytes;
}

bool InMemory(const std::string& dir) {
  struct statfs status;
  if (statfs(dir.c_str(), &status) != 0) return false;
  return status.f_type == TMPFS_MAGIC || status.f_type == RAMFS_MAGIC;
}

// Writes all of `data`, whatever the kernel takes per call.
void WriteAll(int fd, const char* data, std::size_t size,
              const std::string& path) {
  while (size > 0) {
    const ssize_t put = write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) Fail("cannot write " + path);
    data += put;
    size -= static_cast<std::size_t>(put);
  }
}

int Create(const std::string& path) {
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) Fail("cannot create " + path);
  return fd;
}

void CloseWritten(int fd, const std::string& path) {
  if (close(fd) != 0) Fail("cannot write " + path);
}

// Looks for a program interpreter among the program headers.
template <typename Header, typename ProgramHeader>
bool HasInterpreter(std::ifstream& file, const std::string& path) {
  Header header;
  file.seekg(0);
  file.read(reinterpret_cast<char*>(&header), sizeof header);
  for (unsigned i = 0; file && i < header.e_phnum; ++i) {
    ProgramHeader program;
    file.seekg(
        static_cast<std::streamoff>(header.e_phoff + i * header.e_phentsize));
    file.read(reinterpret_cast<char*>(&program), sizeof program);
    if (file && program.p_type == PT_INTERP) return true;
  }
  if (!file) throw std::runtime_error("cannot read the ELF headers of " + path);
  return false;
}

}  // namespace

WorkDir::WorkDir(std::uintmax_t bytes_needed) {
  std::string base = "/dev/shm";
  if (!HasRoom(base, bytes_needed) || access(base.c_str(), W_OK) != 0) {
    const char* tmpdir = std::getenv("TMPDIR");
    base = tmpdir && *tmpdir ? tmpdir : "/tmp";
  }
  std::string pattern = base + "/brinok-bench.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr)
    Fail("cannot make a directory in " + base);
  path_ = pattern;
  ram_backed_ = InMemory(path_);
}

WorkDir::~WorkDir() {
  // Out of the directory before it goes; failures here lose nothing.
  if (chdir("/") != 0) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WorkDir::Enter(const std::string& name) const {
  const std::string dir = path_ + "/" + name;
  if (mkdir(dir.c_str(), 0755) != 0) Fail("cannot make " + dir);
  if (chdir(dir.c_str()) != 0) Fail("cannot enter " + dir);
}

std::string AbsolutePath(const std::string& path) {
  return std::filesystem::absolute(path).lexically_normal().string();
}

void WriteFile(const std::string& path, std::string_view content) {
  const int fd = Create(path);
  WriteAll(fd, content.data(), content.size(), path);
  CloseWritten(fd, path);
}

std::uintmax_t WriteRepeated(const std::string& path, std::string_view piece,
                             long count) {
  // Whole pieces per block, so every block is the same bytes.
  constexpr std::size_t kBlock = 1 << 20;
  const long per_block =
      std::max<long>(1, static_cast<long>(kBlock / piece.size()));
  std::string block;
  for (long i = 0; i < std::min(per_block, count); ++i) block.append(piece);
  const int fd = Create(path);
  for (long left = count; left > 0; left -= per_block) {
    const std::size_t pieces =
        static_cast<std::size_t>(std::min(left, per_block));
    WriteAll(fd, block.data(), pieces * piece.size(), path);
  }
  CloseWritten(fd, path);
  return std::uintmax_t{piece.size()} * static_cast<std::uintmax_t>(count);
}

std::string ReadFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("cannot open " + path);
  std::string content;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      close(fd);
      Fail("cannot read " + path);
    }
    if (got == 0) break;
    content.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return content;
}

bool Exists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

void RemoveIfExists(const std::string& path) {
  if (unlink(path.c_str()) != 0 && errno != ENOENT) {
    Fail("cannot delete " + path);
  }
}

void LinkAs(const std::string& from, const std::string& to) {
  RemoveIfExists(to);
  if (link(from.c_str(), to.c_str()) != 0) Fail("cannot link " + to);
}

void CopyAs(const std::string& from, const std::string& to) {
  RemoveIfExists(to);
  std::filesystem::copy_file(from, to);
}

bool LinkedStatically(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  unsigned char ident[EI_NIDENT] = {};
  file.read(reinterpret_cast<char*>(ident), sizeof ident);
  if (!file || std::memcmp(ident, ELFMAG, SELFMAG) != 0) {
    throw std::runtime_error(path + " is not an ELF executable");
  }
  if (ident[EI_CLASS] == ELFCLASS64) {
    return !HasInterpreter<Elf64_Ehdr, Elf64_Phdr>(file, path);
  }
  return !HasInterpreter<Elf32_Ehdr, Elf32_Phdr>(file, path);
}

}  // namespace brinok::bench
