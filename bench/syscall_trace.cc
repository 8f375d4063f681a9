#include "syscall_trace.h"

#include <cctype>
#include <fstream>
#include <stdexcept>
#include <string_view>

#include "timed_process.h"

namespace brinok::bench {
namespace {

// The name of the call a trace line records, or an empty string for the
// lines that record none (signals, exits, the second half of a call that
// another process interrupted).
std::string_view CallName(std::string_view line) {
  std::size_t at = 0;
  // With -f every line starts with the process id.
  while (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at])))
    ++at;
  while (at < line.size() && line[at] == ' ') ++at;
  line.remove_prefix(at);
  const std::size_t paren = line.find('(');
  if (paren == std::string_view::npos || paren == 0) return {};
  const std::string_view name = line.substr(0, paren);
  for (char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return {};
  }
  return name;
}

}  // namespace

std::optional<std::vector<std::string>> TraceSyscalls(
    const std::string& program, const std::string& trace_path) {
  const std::string strace = FindInPath("strace");
  if (strace.empty()) return std::nullopt;
  const Outcome traced =
      RunTimed({strace, "-f", "-qq", "-o", trace_path, program});
  if (traced.exit_status < 0) {
    throw std::runtime_error("strace did not finish on " + program);
  }
  std::ifstream trace(trace_path);
  if (!trace) throw std::runtime_error("strace left no trace of " + program);
  std::vector<std::string> calls;
  std::string line;
  while (std::getline(trace, line)) {
    const std::string_view name = CallName(line);
    if (!name.empty()) calls.emplace_back(name);
  }
  if (calls.empty() || calls.front() != "execve") {
    throw std::runtime_error("strace could not trace " + program);
  }
  return calls;
}

}  // namespace brinok::bench
