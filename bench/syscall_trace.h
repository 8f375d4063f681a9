#ifndef BRINOK_BENCH_SYSCALL_TRACE_H_
#define BRINOK_BENCH_SYSCALL_TRACE_H_

#include <optional>
#include <string>
#include <vector>

namespace brinok::bench {

/// The system calls that one run of `program` in the current directory
/// makes, by name and in order, as `strace -f` records them; the execve that
/// starts the program is the first. The trace is kept in `trace_path`.
/// Returns nothing when strace is not installed; throws std::runtime_error
/// when it is but cannot trace.
std::optional<std::vector<std::string>> TraceSyscalls(
    const std::string& program, const std::string& trace_path);

}  // namespace brinok::bench

#endif  // BRINOK_BENCH_SYSCALL_TRACE_H_
