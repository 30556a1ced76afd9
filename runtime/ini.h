// INI files through the system's profile functions, and the INI settings
// object that keeps its bookkeeping in its own file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rt {

// The stored value, or the default when the file, the section or the key is
// missing; at most 1023 characters. A name without a folder is taken from the
// Windows directory (the profile functions' rule).
std::string IniReadText(std::string_view section, std::string_view key, std::string_view def,
                        std::string_view file);

// Writes the key, creating the file and the section when they are missing;
// an empty value keeps the key with an empty value. Failures are not
// reported.
void IniWriteText(std::string_view section, std::string_view key, std::string_view value,
                  std::string_view file);

// The INI settings object. It is bound to one file at set-up; its
// bookkeeping, the value "Sectors" of section "__Dont_Touch_Me__" (the
// sections it has handed out, comma-separated), is read at set-up and
// written back at tear-down.
class IniStore {
 public:
  static constexpr const char* kBookkeepingSection = "__Dont_Touch_Me__";

  IniStore() = default;
  IniStore(const IniStore&) = delete;
  IniStore& operator=(const IniStore&) = delete;

  // Kind 0: an INI file under exactly that name. The name is resolved
  // against the current folder now, so later folder changes do not move it.
  void SetUp(std::string_view fileName, int kind = 0);
  void TearDown();

  const std::string& FileName() const { return file_; }
  const std::vector<std::string>& Sectors() const { return sectors_; }

 private:
  std::string file_;
  std::vector<std::string> sectors_;
  bool open_ = false;
};

}  // namespace rt
