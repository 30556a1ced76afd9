// Files as the tests and the benchmarks lay them out and read them back.
// Nothing here throws; a failure shows in the result.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace driver {

// The whole content of a file, empty when it cannot be opened. Another
// process may still have it open and append to it (a debug file): what it
// has written so far is read.
std::string ReadFile(const std::string& path);
// Creates the file, or empties it, and writes exactly `content`.
bool WriteFile(const std::string& path, const std::string& content);
// True when a file or a folder of that name exists.
bool FileExists(const std::string& path);
// Removes a file or a folder with everything in it. True when it is gone.
bool RemoveTree(const std::string& path);
// The names in a folder (no "." and ".."), sorted.
std::vector<std::string> FolderEntries(const std::string& folder);
// The value of the first line "Key=Value" of a text file for `key` (lines
// end with LF or CR LF), such as the stand-in main program's record; nothing
// when no line has the key.
std::optional<std::string> KeyValue(const std::string& path, const std::string& key);

// The folder of the running executable, without a trailing backslash.
std::string ExecutableFolder();

}  // namespace driver
