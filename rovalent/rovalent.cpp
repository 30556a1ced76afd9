// The library's main module: the state that the whole library shares, its
// module and thread steps, and the hexadecimal texts.
#include "rovalent_internal.h"

#include <algorithm>

std::optional<rt::Lock> RovalentLock;
SharedFixedText DebugFileName{512};

ProcVariable fp_WTSRegisterSessionNotification{0};
ProcVariable fp_WTSUnRegisterSessionNotification{0};
ProcVariable fp_SHGetFolderPath{0};

namespace {

constexpr char kResourceName[] = "rovalent$rovalent";

// The module's resource holds one window that is loaded at start and never
// opened. Nothing shows it or asks anything of it, so it is held as its
// stored layout: a window built for it would cost every start the making of
// a Windows window, the first of the process, for nothing.
const rt::WindowLayout kWindows[] = {
    {.name = "$NOTWINDOW", .width = 102, .height = 26},
};
const rt::LayoutResource kResource{kResourceName, kWindows};

const rt::WindowLayout* g_notWindow = nullptr;

void RovalentModuleInit() {
  rt::RandomSeedOnce();
  DebugFileName.Set("");
  RovalentLock.emplace();
  g_notWindow = rt::FindLayout(kResourceName, "$NOTWINDOW");
}

void RovalentModuleTerm() {
  g_notWindow = nullptr;
  RovalentLock.reset();
}

void RovalentThreadInit() {
  // A thread starts with code 0 and blank texts, which is a cleared state
  // under a blank procedure name.
  ClearRovalentError("");
  RovalentThreadFileInit();
}

const rt::Module RovalentModule{.name = "rovalent",
                                .moduleInit = RovalentModuleInit,
                                .moduleTerm = RovalentModuleTerm,
                                .threadInit = RovalentThreadInit,
                                .resource = &kResource};

const rt::Module* const kModules[] = {
    &RovalentModule,         &RovalentCommsModule, &RovalentPidEventModule, &RovalentTaskbarModule,
    &RovalentControlsModule, &RovalentDebugModule, &RovalentAlertModule,
};

}  // namespace

std::span<const rt::Module* const> RovalentModules() {
  return kModules;
}

namespace {

void LockStepTrace(std::string_view holder, const char* step) {
  if (!SwitchOn(RvSwitch::DebugWaitRelease)) return;
  WriteDebugText("Wait/Release Check. " + std::string(holder) + step +
                 " Thread: " + rt::Decimal(rt::ThreadNumber()));
}

}  // namespace

void RovalentLockWait(std::string_view holder) {
  LockStepTrace(holder, "Wait!");
  RovalentLock->Wait();
}

void RovalentLockRelease(std::string_view holder) {
  LockStepTrace(holder, "Release!");
  RovalentLock->Release();
}

char HexDigitChar(std::int32_t value) {
  return value >= 0 && value <= 15 ? "0123456789ABCDEF"[value] : '#';
}

std::string LongToHexText(std::int32_t value, std::uint8_t digits) {
  // A 32-bit value has no more than 8 digits: wider fields get leading zeros.
  if (digits > 8) return std::string(digits - 8u, '0') + LongToHexText(value, 8);
  std::uint32_t rest = static_cast<std::uint32_t>(value);
  std::string text(digits, '0');
  std::uint32_t place = 1;
  for (int i = 1; i < digits; ++i) place *= 16;
  // The first digit takes whatever the lower ones leave, so a value too wide
  // for the field shows there as "#".
  for (char& c : text) {
    c = HexDigitChar(static_cast<std::int32_t>(std::min<std::uint32_t>(rest / place, 16)));
    rest %= place;
    place /= 16;
  }
  return text;
}
