#include "scratch_dir.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "report_fixtures.h"

namespace brinok::testing {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::string pattern =
      (fs::temp_directory_path() / "brinok-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a scratch directory");
  }
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  // A test may have left read-only entries behind.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

void ScratchDir::Write(std::string_view name, std::string_view bytes) const {
  std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + std::string(name));
}

std::optional<std::string> ScratchDir::Read(std::string_view name) const {
  std::error_code error;
  if (!fs::is_regular_file(fs::symlink_status(path_ / name, error))) {
    return std::nullopt;
  }
  std::ifstream in(path_ / name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::map<std::string, std::string> ScratchDir::Contents() const {
  std::map<std::string, std::string> contents;
  for (const fs::directory_entry& entry : fs::directory_iterator(path_)) {
    const std::string name = entry.path().filename().string();
    const fs::file_status status = entry.symlink_status();
    if (fs::is_symlink(status)) {
      contents[name] = "<link>";
    } else if (fs::is_directory(status)) {
      contents[name] = "<dir>";
    } else if (fs::is_fifo(status)) {
      contents[name] = "<fifo>";
    } else if (fs::is_character_file(status) || fs::is_block_file(status)) {
      contents[name] = "<device>";
    } else if (std::string bytes = *Read(name);
               name != kLock || !bytes.empty()) {
      contents[name] = std::move(bytes);
    }
  }
  return contents;
}

}  // namespace brinok::testing
