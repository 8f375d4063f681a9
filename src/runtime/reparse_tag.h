#ifndef BRINOK_RUNTIME_REPARSE_TAG_H_
#define BRINOK_RUNTIME_REPARSE_TAG_H_

#include <cstdint>

namespace brinok {

/// Whether a Windows reparse point with this tag stands for another name:
/// a symbolic link, a junction or a mount point (the tag's name-surrogate
/// bit). Such a name is refused like a link. Every other reparse point, such
/// as a cloud placeholder (OneDrive) or a deduplicated or compressed file,
/// is a file whose data a file system filter supplies, and is used as one.
constexpr bool IsNameSurrogateTag(std::uint32_t tag) {
  return (tag & 0x20000000u) != 0;
}

}  // namespace brinok

#endif  // BRINOK_RUNTIME_REPARSE_TAG_H_
