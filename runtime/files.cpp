#include "files.h"

#include <windows.h>

#include "clock.h"
#include "handles.h"
#include "program.h"
#include "text.h"

namespace rt {
namespace {

bool Report(BOOL ok) {
  ErrorCodeSet(ok ? 0 : static_cast<int>(::GetLastError()));
  return ok != FALSE;
}

}  // namespace

bool FileExists(std::string_view name) {
  const std::string path(name);
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FileCopy(std::string_view source, std::string_view target) {
  return Report(::CopyFileA(std::string(source).c_str(), std::string(target).c_str(), FALSE));
}

bool FileRemove(std::string_view name) {
  return Report(::DeleteFileA(std::string(name).c_str()));
}

std::string CurrentFolder() {
  char buffer[MAX_PATH * 2];
  const DWORD n = ::GetCurrentDirectoryA(sizeof buffer, buffer);
  return (n == 0 || n >= sizeof buffer) ? std::string() : std::string(buffer, n);
}

CurrentFolderKeeper::CurrentFolderKeeper() : saved_(CurrentFolder()) {}

CurrentFolderKeeper::~CurrentFolderKeeper() {
  if (!saved_.empty()) ::SetCurrentDirectoryA(saved_.c_str());
}

std::string PathLong(std::string_view path) {
  const std::string given = path.empty() ? CurrentFolder() : std::string(TrimRight(path));
  char full[MAX_PATH * 2];
  const DWORD n = ::GetFullPathNameA(given.c_str(), sizeof full, full, nullptr);
  const std::string absolute = (n == 0 || n >= sizeof full) ? given : std::string(full, n);
  char longForm[MAX_PATH * 2];
  const DWORD m = ::GetLongPathNameA(absolute.c_str(), longForm, sizeof longForm);
  return (m == 0 || m >= sizeof longForm) ? absolute : std::string(longForm, m);
}

std::string PathShort(std::string_view path) {
  const std::string longForm = PathLong(path);
  char buffer[MAX_PATH * 2];
  const DWORD n = ::GetShortPathNameA(longForm.c_str(), buffer, sizeof buffer);
  return (n == 0 || n >= sizeof buffer) ? longForm : std::string(buffer, n);
}

bool FolderSetCurrent(std::string_view path) {
  const std::string folder = Cut(TrimRight(path), 260);
  if (!::SetCurrentDirectoryA(folder.c_str())) {
    ErrorCodeSet(3);
    return false;
  }
  ErrorCodeSet(0);
  return true;
}

std::vector<DirEntry> DirectoryList(std::string_view pattern) {
  std::vector<DirEntry> entries;
  WIN32_FIND_DATAA found;
  UniqueFind find(::FindFirstFileA(std::string(pattern).c_str(), &found));
  if (!find) return entries;
  constexpr DWORD kNotPlain =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  do {
    if (found.dwFileAttributes & kNotPlain) continue;
    DirEntry entry;
    entry.name = found.cFileName;
    entry.shortName = found.cAlternateFileName;
    FILETIME local;
    SYSTEMTIME t;
    if (::FileTimeToLocalFileTime(&found.ftLastWriteTime, &local) &&
        ::FileTimeToSystemTime(&local, &t)) {
      entry.date = DateFromYMD(t.wYear, t.wMonth, t.wDay);
      entry.time = ClockOf(t);
    }
    entry.size = static_cast<std::int32_t>(found.nFileSizeLow);
    entry.attrib = static_cast<std::uint8_t>(found.dwFileAttributes & 0xFF);
    entries.push_back(std::move(entry));
  } while (::FindNextFileA(find.get(), &found));
  return entries;
}

}  // namespace rt
