// The library's per-thread error state, its calling convention and the texts
// of its error codes.
#include "rovalent_internal.h"

#include <algorithm>

namespace {

constexpr std::size_t kFieldWidth = 255;
constexpr std::int32_t kCustomerCodeBit = 0x20000000;
constexpr char kUnknownCode[] = "Unknown Rovalent error code";

// The error state of a thread, in fixed fields that need no allocation.
thread_local std::int32_t t_errorCode = 0;
thread_local char t_errorText[kFieldWidth];
thread_local char t_errorProc[kFieldWidth];

void Assign(char (&field)[kFieldWidth], std::string_view text) noexcept {
  const std::size_t n = std::min(text.size(), kFieldWidth);
  std::fill(std::copy_n(text.begin(), n, field), std::end(field), ' ');
}

std::string_view View(const char (&field)[kFieldWidth]) {
  return std::string_view(field, kFieldWidth);
}

// The texts of the codes 0xA0000001 to 0xA0000058, in code order.
constexpr const char* kCodeTexts[] = {
    "ds_GetTempPath failed, TempPath is longer than 260 chars",
    "ds_GetFolderPath failed, Path does not exist",
    "ds_GetFolderPath failed, Invalid FolderID",
    "ds_String2File error, No filename specified",
    "ds_String2File API call to CreateFile failed",
    "ds_String2File API call to WriteFile failed",
    "ds_String2File API call to CloseHandle failed",
    "ds_File2String error, No filename specified",
    "ds_File2String API call to CreateFile failed",
    "ds_File2String error, File does not exist",
    "ds_File2String API call to ReadFile failed",
    "ds_File2String API call to CloseHandle failed",
    "ds_EmptyPort failed, Could not empty buffer",
    "ds_GSMGetReply failed, Timeout",
    "ds_GetGSMReply error, Receive buffer too small",
    "ds_GSMEchoOFF failed",
    "ds_GSMSendSMS failed",
    "ds_GSMEnterPin failed",
    "ds_GSMSetSMSTextmode failed",
    "NewPort failed, Error opening port",
    "NewPort failed, Error setting com buffers",
    "ResetPort API call to BuildCommDCB failed",
    "ResetPort API call to SetCommState failed",
    "ResetPort API call to SetCommTimeouts failed",
    "WritePort API call to WriteFile failed",
    "ReadPort API call to ReadFile failed",
    "SethandShake API call to SetCommState failed",
    "ds_SetReg API call to RegOpenKeyEx failed",
    "ds_CloseReg API call to RegCloseKey failed",
    "ds_PagerSend failed, ATZ does not return OK",
    "ds_PagerSend failed, No CONNECT detected",
    "ds_PagerSend failed, +++ unsuccessful",
    "ds_PagerSend failed, ATH0 unsuccessful",
    "ds_GSMReadSMS failed, Index out of range",
    "ds_GSMDeleteSMS failed, Index out of range",
    "ds_GSMEnterPin error, No PIN specified",
    "ds_GSMReadSMS failed, Unexpected response",
    "ds_PAGERGetReply failed, Timeout",
    "ds_GSMSetSMSReport failed",
    "ds_GSMReadSMSInit failed, Could not select report source",
    "UseCommEvents API call to SetCommMask failed",
    "MonitorCommEvents API call to WaitCommEvent failed",
    "ds_GSMSelectSR failed, Unexpected response",
    "ds_GSMDeleteSMSReport failed, Unexpected response",
    "ds_GSMReadSMSReport failed, Index out of range",
    "ds_GSMReadSMSReport failed, Unexpected response",
    "ds_GSMSetEvents failed",
    "ds_GSMReset failed",
    "ds_GetFileVersionInfo error",
    "ds_SetClipboard error",
    "AddAlerts error",
    "CloseHandle error",
    "WinAccept error",
    "ds_WTSCallBack error",
    "WritePortWait error",
    "ds_GetDLLVersion error",
    "ds_UnloadDLLProc error",
    "ds_loadDLLProc error",
    "ds_File2String error",
    "ds_GetHIcon error",
    "ds_MoveFile error",
    "ds_DeleteFile error",
    "ds_CreateDirectory error",
    "ds_RemoveDirectory error",
    "ds_GetFolderPath error",
    "ds_GetTempPath error",
    "ds_GSMPagerSend error",
    "ds_PutReg error",
    "ds_GetReg error",
    "ds_CreateShortcut error",
    "GetFreeDiskSpace error",
    "GetDiskSpace error",
    "ds_GetDiskMegs error",
    "ds_GetIDETemperature error",
    "ds_WinTaskbarBalloon error",
    "ds_Win98Balloon error",
    "WinTaskbarAddIcon error",
    "WinTaskbarRemoveIcon error",
    "WinTaskbarChangeIcon error",
    "WinBringToFront error",
    "WinOnTop error",
    "WinNotOnTop error",
    "ds_HideWindow error",
    "ds_ShowWindow error",
    "ds_VisibleOnDesktop error",
    "ds_WinTransparent error",
    "ds_StatusRectangle error",
    "ds_StatusGrip error",
};
static_assert(std::size(kCodeTexts) == 88);

// The system's text of a message number, as FormatMessageA leaves it in a
// buffer of 255 bytes; 0 characters when it has none. Without insert
// arguments the system refuses a text that holds insert sequences, which then
// counts as having no text.
std::string_view SystemText(DWORD message, char (&buffer)[kFieldWidth]) {
  const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, message, 0, buffer,
                                   sizeof buffer, nullptr);
  return std::string_view(buffer, std::min<DWORD>(n, sizeof buffer));
}

std::string BaseText(std::int32_t code) {
  if ((code & kCustomerCodeBit) != 0) {
    const std::uint32_t row = static_cast<std::uint32_t>(code) - 0xA0000001u;
    return row < std::size(kCodeTexts) ? kCodeTexts[row] : kUnknownCode;
  }
  char buffer[kFieldWidth];
  const std::string_view text = SystemText(static_cast<DWORD>(code), buffer);
  // A text that fills the buffer was cut by the system: it counts as none.
  if (text.empty() || text.size() >= kFieldWidth) return kUnknownCode;
  return std::string(text);
}

}  // namespace

std::int32_t RovalentErrorCode() {
  return t_errorCode;
}
std::string_view RovalentErrorText() {
  return View(t_errorText);
}
std::string_view RovalentErrorProc() {
  return View(t_errorProc);
}

void RovalentErrorTextSet(std::string_view text) noexcept {
  Assign(t_errorText, text);
}

void RovalentErrorCodeStore(std::int32_t code) noexcept {
  t_errorCode = code;
}

void ClearRovalentError(std::string_view procedureName) {
  t_errorCode = 0;
  Assign(t_errorText, "");
  Assign(t_errorProc, procedureName);
}

void SetRovalentError(std::int32_t code) {
  t_errorCode = code;
  if (SwitchOn(RvSwitch::Debug)) ds_Debug(ErrorCodeText(0, 1));
}

std::string ErrorCodeText(std::int32_t code, std::uint8_t withDetail) {
  std::string detail;
  if (withDetail) {
    code = t_errorCode;
    detail = ", " + rt::Clip(View(t_errorText)) + ", ";
    detail += View(t_errorProc);
    detail.resize(std::min(detail.size(), kFieldWidth));
  }
  if (code == 0) return {};
  return BaseText(code) + rt::Clip(detail);
}

std::string LastErrorText() {
  return SystemErrorText(::GetLastError());
}

std::string SystemErrorText(DWORD error) {
  char buffer[kFieldWidth];
  std::string_view text = SystemText(error, buffer);
  if (text.size() <= 2) return {};
  if (text.ends_with("\r\n")) text.remove_suffix(2);
  return std::string(text);
}
