#include "file_tools.h"

#include <windows.h>

#include <algorithm>

#include "handles.h"

namespace driver {

std::string ReadFile(const std::string& path) {
  rt::UniqueFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  std::string content;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    content.append(buffer, got);
  }
  return content;
}

bool WriteFile(const std::string& path, const std::string& content) {
  rt::UniqueFileHandle file(
      ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written,
                     nullptr) &&
         written == content.size();
}

bool FileExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveTree(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  // Tests make files read-only or hidden on purpose; neither may stop the
  // clean-up.
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ::DeleteFileA(path.c_str()) != FALSE;
  for (const std::string& name : FolderEntries(path)) RemoveTree(path + "\\" + name);
  return ::RemoveDirectoryA(path.c_str()) != FALSE;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  rt::UniqueFind find(::FindFirstFileA((folder + "\\*").c_str(), &found));
  if (!find) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileA(find.get(), &found));
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<std::string> KeyValue(const std::string& path, const std::string& key) {
  const std::string content = ReadFile(path);
  const std::string start = key + "=";
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t end = content.find('\n', pos);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, start.size(), start) == 0) return line.substr(start.size());
    pos = end + 1;
  }
  return {};
}

std::string ExecutableFolder() {
  char path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  const std::size_t slash = folder.find_last_of('\\');
  return slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
}

}  // namespace driver
