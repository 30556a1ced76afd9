#include "files.h"

#include <windows.h>

#include <algorithm>
#include <memory>

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

// ---------------------------------------------------------------------------
// Temporary files

namespace {

constexpr DWORD kTemporaryMark = FILE_ATTRIBUTE_HIDDEN;
// Small enough for the heap to hand the same block out again for the next
// file; a fresh block of a megabyte costs its pages anew each time.
constexpr std::size_t kCopyBlock = 256 * 1024;

// Times of 0 stay as they are.
bool SetBasics(HANDLE file, DWORD attributes, LARGE_INTEGER lastWrite = {}) {
  FILE_BASIC_INFO info{};
  info.LastWriteTime = lastWrite;
  info.FileAttributes = attributes;
  return ::SetFileInformationByHandle(file, FileBasicInfo, &info, sizeof info) != FALSE;
}

// Marks the file to go when its last handle closes.
bool MarkForRemoval(HANDLE file) {
  FILE_DISPOSITION_INFO info{TRUE};
  return ::SetFileInformationByHandle(file, FileDispositionInfo, &info, sizeof info) != FALSE;
}

std::wstring Wide(std::string_view text) {
  const int n =
      ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(n, 0)), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

// The file handled, renamed to `target` over what is there.
bool RenameOver(HANDLE file, std::string_view target) {
  const std::wstring name = Wide(target);
  std::vector<std::byte> storage(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(storage.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
  std::copy(name.begin(), name.end(), info->FileName);
  return ::SetFileInformationByHandle(file, FileRenameInfo, info,
                                      static_cast<DWORD>(storage.size())) != FALSE;
}

// "<prefix><digits>.tmp", letter case aside.
bool IsTemporaryName(std::string_view name, std::string_view prefix) {
  constexpr std::string_view kSuffix = ".tmp";
  if (name.size() <= prefix.size() + kSuffix.size()) return false;
  if (!EqualNoCase(name.substr(0, prefix.size()), prefix)) return false;
  if (!EqualNoCase(name.substr(name.size() - kSuffix.size()), kSuffix)) return false;
  const std::string_view digits =
      name.substr(prefix.size(), name.size() - prefix.size() - kSuffix.size());
  return digits.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

TempFile::TempFile(std::string_view folder, std::string_view prefix) {
  const std::string start = std::string(folder) + "\\" + std::string(prefix);
  // The names run on as far as they must: a name that is taken, by a file or
  // a folder, is passed over.
  for (std::uint64_t n = 0;; ++n) {
    const std::string name = start + std::to_string(n) + ".tmp";
    file_.reset(::CreateFileA(name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                              kTemporaryMark, nullptr));
    if (file_) {
      path_ = name;
      ErrorCodeSet(0);
      return;
    }
    const DWORD error = ::GetLastError();
    if (::GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES) {
      ErrorCodeSet(static_cast<int>(error));
      return;
    }
  }
}

TempFile::~TempFile() {
  if (file_) MarkForRemoval(file_.get());
}

bool TempFile::CopyFrom(std::string_view source) {
  UniqueFileHandle in(::CreateFileA(std::string(source).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  // The basic information alone: under Wine all of it takes about as long
  // as copying half a megabyte.
  if (!in || !::GetFileInformationByHandleEx(in.get(), FileBasicInfo, &source_, sizeof source_)) {
    return Report(FALSE);
  }
  const auto block = std::make_unique_for_overwrite<char[]>(kCopyBlock);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(in.get(), block.get(), kCopyBlock, &read, nullptr)) return Report(FALSE);
    if (read == 0) return Report(TRUE);
    DWORD written = 0;
    if (!::WriteFile(file_.get(), block.get(), read, &written, nullptr)) return Report(FALSE);
  }
}

bool TempFile::MoveInto(std::string_view target) {
  if (!SetBasics(file_.get(), source_.FileAttributes, source_.LastWriteTime) ||
      !RenameOver(file_.get(), target)) {
    const DWORD error = ::GetLastError();
    // Marked again, so that what cannot be removed now is found later.
    SetBasics(file_.get(), kTemporaryMark);
    ErrorCodeSet(static_cast<int>(error));
    return false;
  }
  file_.reset();
  path_ = target;
  ErrorCodeSet(0);
  return true;
}

void TempFile::RemoveLeftovers(std::string_view folder, std::string_view prefix) {
  const std::string start = std::string(folder) + "\\";
  WIN32_FIND_DATAA found;
  UniqueFind find(::FindFirstFileA((start + std::string(prefix) + "*.tmp").c_str(), &found));
  if (!find) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        (found.dwFileAttributes & kTemporaryMark) == 0 ||
        !IsTemporaryName(found.cFileName, prefix)) {
      continue;
    }
    // Sharing nothing, the open fails while anyone holds the file.
    UniqueFileHandle leftover(::CreateFileA((start + found.cFileName).c_str(),
                                            DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                            0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!leftover) continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) SetBasics(leftover.get(), kTemporaryMark);
    MarkForRemoval(leftover.get());
  } while (::FindNextFileA(find.get(), &found));
}

}  // namespace rt
