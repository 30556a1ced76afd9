// Special folders and nested folder creation.
#include "rovalent_internal.h"

#include <cstring>

namespace {

using SHGetFolderPathFn = HRESULT(WINAPI*)(HWND owner, int folder, HANDLE token, DWORD flags,
                                           LPSTR path);

constexpr int kCreateFlag = 0x8000;  // CSIDL_FLAG_CREATE
constexpr std::size_t kFolderNameMax = 254;

// The system's way of saying that the id is valid but its folder is not
// there: S_FALSE from older systems; newer ones, and Wine, answer with the
// file or path error instead.
bool FolderIsMissing(HRESULT result) {
  return result == S_FALSE || result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
         result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

// The index from which the search for level ends starts: behind the first
// ':' of a drive, behind the first two backslashes in a row of a network
// name, behind the first ".\" of a relative path, behind a leading
// backslash, else at the beginning. A drive or server name is then tried as
// a level of its own and simply fails.
std::size_t LevelSearchStart(std::string_view path) {
  if (const auto colon = path.find(':'); colon != std::string_view::npos) return colon + 1;
  if (const auto pair = path.find("\\\\"); pair != std::string_view::npos) return pair + 2;
  if (const auto dot = path.find(".\\"); dot != std::string_view::npos) return dot + 2;
  return path.starts_with('\\') ? 1 : 0;
}

void CreateLevel(std::string_view level) {
  const std::string name = rt::Cut(level, kFolderNameMax);
  if (::CreateDirectoryA(name.c_str(), nullptr)) return;
  const DWORD error = ::GetLastError();
  if (!SwitchOn(RvSwitch::Debug)) return;
  RovalentErrorTextSet(SystemErrorText(error));
  SetRovalentError(rverr::kCreateDirectory);
}

}  // namespace

std::string ds_GetFolderPath(std::int32_t folderId, std::uint8_t create) {
  ClearRovalentError("ds_GetFolderPath");
  // shell32 is asked once per run; without it, shfolder is asked each time.
  if (LoadSystemDLLProc("shell32", "SHGetFolderPathA", fp_SHGetFolderPath) != 0) {
    fp_SHGetFolderPath = 0;
    if (LoadSystemDLLProc("shfolder", "SHGetFolderPathA", fp_SHGetFolderPath) != 0) return {};
  }
  const auto getFolderPath = ProcFromVariable<SHGetFolderPathFn>(fp_SHGetFolderPath);

  char path[MAX_PATH] = {};
  const HRESULT result =
      getFolderPath(nullptr, create ? folderId | kCreateFlag : folderId, nullptr, 0, path);
  if (result == S_OK) {
    RovalentErrorTextSet("");
    RovalentErrorCodeStore(0);
    return rt::Clip(std::string_view(path, ::strnlen(path, sizeof path)));
  }
  RovalentErrorTextSet("requested FolderID=" + LongToHexText(folderId, 8));
  if (!FolderIsMissing(result)) {
    RovalentErrorCodeStore(rverr::kFolderIdInvalid);
    return {};
  }
  RovalentErrorCodeStore(rverr::kFolderMissing);
  if (SwitchOn(RvSwitch::Debug)) {
    RovalentErrorTextSet(ErrorCodeText(0, 1));
    SetRovalentError(rverr::kGetFolderPath);
  }
  return {};
}

std::int32_t ds_CreateDirectory(std::string_view path) {
  ClearRovalentError("ds_CreateDirectory");
  for (std::size_t level = path.find('\\', LevelSearchStart(path)); level != std::string_view::npos;
       level = path.find('\\', level + 1)) {
    CreateLevel(path.substr(0, level));
  }
  CreateLevel(rt::TrimRight(path));
  return 1;
}
