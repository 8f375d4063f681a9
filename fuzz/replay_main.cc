// Stands in for libFuzzer's driver where the fuzz targets are not linked with
// it: runs LLVMFuzzerTestOneInput once on each file named on the command
// line, or on each file of a named directory, so the seed corpus is replayed
// as a test by every build.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size);

namespace {

namespace fs = std::filesystem;

// The files to replay, a directory's entries in name order so that runs are
// repeatable. Returns false when an argument names nothing readable.
bool CollectInputs(const char* argument, std::vector<fs::path>& inputs) {
  std::error_code error;
  const fs::path path(argument);
  if (fs::is_regular_file(path, error)) {
    inputs.push_back(path);
    return true;
  }
  if (!fs::is_directory(path, error)) return false;
  std::vector<fs::path> entries;
  for (const fs::directory_entry& entry : fs::directory_iterator(path, error)) {
    if (entry.is_regular_file(error)) entries.push_back(entry.path());
  }
  if (error) return false;
  std::sort(entries.begin(), entries.end());
  inputs.insert(inputs.end(), entries.begin(), entries.end());
  return true;
}

bool ReadBytes(const fs::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in),
               std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE_OR_DIRECTORY...\n", argv[0]);
    return 2;
  }
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (!CollectInputs(argv[i], inputs)) {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 2;
    }
  }
  // An empty corpus would make the replay pass without testing anything.
  if (inputs.empty()) {
    std::fprintf(stderr, "no inputs to replay\n");
    return 1;
  }
  std::string bytes;
  for (const fs::path& input : inputs) {
    if (!ReadBytes(input, bytes)) {
      std::fprintf(stderr, "cannot read %s\n", input.c_str());
      return 2;
    }
    // A broken property aborts inside the call; the name says which input.
    std::fprintf(stderr, "replaying %s\n", input.c_str());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                           bytes.size());
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  return 0;
}
