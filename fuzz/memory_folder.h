#ifndef BRINOK_FUZZ_MEMORY_FOLDER_H_
#define BRINOK_FUZZ_MEMORY_FOLDER_H_

#include <cstddef>
#include <map>
#include <string>

namespace brinok::fuzz {

/// The fuzz targets link this in place of the platform's file functions
/// (file_posix.cc, file_win32.cc): File, RemoveFile, IdentityIfExists, the
/// renames and SyncCurrentDirectory work on one folder of regular files held
/// in memory, so that a whole run costs no system call.

/// Empties the folder and puts `files` (name, bytes) in it.
void ResetFolder(const std::map<std::string, std::string>& files);

/// The folder's files by name, with their bytes.
std::map<std::string, std::string> FolderFiles();

/// From now on a read gives at most `most` bytes (0: as many as asked), as a
/// network file system may anywhere in a file.
void LimitReads(std::size_t most);

}  // namespace brinok::fuzz

#endif  // BRINOK_FUZZ_MEMORY_FOLDER_H_
