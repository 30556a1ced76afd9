#include "ini.h"

#include <windows.h>

#include "text.h"

namespace rt {

std::string IniReadText(std::string_view section, std::string_view key, std::string_view def,
                        std::string_view file) {
  char buffer[1024];
  const DWORD n = ::GetPrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(),
                                             std::string(def).c_str(), buffer, sizeof buffer,
                                             std::string(file).c_str());
  return std::string(buffer, n);
}

void IniWriteText(std::string_view section, std::string_view key, std::string_view value,
                  std::string_view file) {
  ::WritePrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(),
                               std::string(value).c_str(), std::string(file).c_str());
}

void IniStore::SetUp(std::string_view fileName, int /*kind*/) {
  const std::string name(fileName);
  char full[MAX_PATH * 2];
  const DWORD n = ::GetFullPathNameA(name.c_str(), sizeof full, full, nullptr);
  file_ = (n == 0 || n >= sizeof full) ? name : std::string(full, n);
  sectors_ = Split(IniReadText(kBookkeepingSection, "Sectors", "", file_), ',');
  std::erase(sectors_, "");
  open_ = true;
}

void IniStore::TearDown() {
  if (!open_) return;
  std::string joined;
  for (const std::string& s : sectors_) {
    if (!joined.empty()) joined += ',';
    joined += s;
  }
  IniWriteText(kBookkeepingSection, "Sectors", joined, file_);
  sectors_.clear();
  open_ = false;
}

}  // namespace rt
