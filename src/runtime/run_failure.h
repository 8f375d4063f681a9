#ifndef BRINOK_RUNTIME_RUN_FAILURE_H_
#define BRINOK_RUNTIME_RUN_FAILURE_H_

#include <exception>

namespace brinok {

/// Why a runtime operation failed. The run treats every kind alike (it ends at
/// once); the kind only lets tests say which rule fired.
enum class FailureKind {
  kNotFound,      // the file to open or delete does not exist
  kNotRegular,    // the name holds a directory, FIFO, device or link
  kIo,            // any other failing file operation
  kPastEnd,       // a line read with the read position at the end of the file
  kOverflow,      // a number beyond the double-precision range
  kTypeMismatch,  // a value that cannot take the form asked (a negative
                  // number to pad with zeros)
  kChanged,       // another program changed a file that the run had judged
  kBusy,          // another run held the folder's lock for the whole wait
};

/// The one failure type raised by every runtime operation. It carries no
/// message: the program never prints anything.
class RunFailure : public std::exception {
 public:
  explicit RunFailure(FailureKind kind) noexcept : kind_(kind) {}

  FailureKind kind() const noexcept { return kind_; }
  const char* what() const noexcept override { return "run failure"; }

 private:
  FailureKind kind_;
};

}  // namespace brinok

#endif  // BRINOK_RUNTIME_RUN_FAILURE_H_
