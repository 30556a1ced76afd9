// File built-ins: existence, copy, removal, folder listing, the current
// folder. Each sets the runtime's error code (ErrorCodeGet): 0 on success,
// else the Windows error code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// True when a file or a folder of that name exists.
[[nodiscard]] bool FileExists(std::string_view name);
[[nodiscard]] bool FileCopy(std::string_view source, std::string_view target);
[[nodiscard]] bool FileRemove(std::string_view name);

// The current folder as the system gives it; empty when it cannot be read.
std::string CurrentFolder();

// Keeps the current folder of its start and makes it current again at its
// end (when it could be read), whatever was entered meanwhile.
class CurrentFolderKeeper {
 public:
  CurrentFolderKeeper();
  CurrentFolderKeeper(const CurrentFolderKeeper&) = delete;
  CurrentFolderKeeper& operator=(const CurrentFolderKeeper&) = delete;
  ~CurrentFolderKeeper();
  const std::string& Saved() const { return saved_; }

 private:
  std::string saved_;
};

// A path in its short (8.3) form and in its full long form; an empty path
// stands for the current folder. A path that does not exist comes back as
// given.
std::string PathShort(std::string_view path = {});
std::string PathLong(std::string_view path = {});

// Makes the folder (trailing blanks removed, cut to 260 characters) the
// current folder. Error code 0 on success, 3 when it cannot be entered (the
// current folder then stays).
[[nodiscard]] bool FolderSetCurrent(std::string_view path);

struct DirEntry {
  std::string name;       // the long name
  std::string shortName;  // the 8.3 name (empty when the file has none)
  std::int32_t date = 0;  // last write, local, as a day number
  std::int32_t time = 0;  // last write, local, as a clock value
  std::int32_t size = 0;  // low 32 bits of the size
  std::uint8_t attrib = 0;
};

// The plain files that match the pattern: no folders, no hidden or system
// files; read-only and archive files are listed. In the order in which the
// file system enumerates them; a missing folder lists nothing.
std::vector<DirEntry> DirectoryList(std::string_view pattern);

}  // namespace rt
