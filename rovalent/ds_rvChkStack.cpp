// The stack check: a stretch of code between SaveStackEntry and
// TestStackEntry must leave the stack and frame pointers as it found them,
// and should leave the general registers so.
#include "rovalent_internal.h"

namespace {

constexpr std::int32_t kMaxLevels = 255;

struct SavedSet {
  std::uint32_t ebp, esp, ebx, ecx, edx, esi, edi;
};

// Per thread, trivially destructible: the level and the saved sets.
thread_local std::int32_t t_level = 0;
thread_local SavedSet t_frames[kMaxLevels];

// A level outside 1 to 255 saved nothing: it reads as a set of zeros.
const SavedSet& CurrentSet() {
  static constexpr SavedSet kNothingSaved{};
  return t_level >= 1 && t_level <= kMaxLevels ? t_frames[t_level - 1] : kNothingSaved;
}

struct RegisterItem {
  std::int32_t bit;
  const char* name;
  std::uint32_t StackSnapshot::*now;
  std::uint32_t SavedSet::*saved;
};

constexpr RegisterItem kGeneralRegisters[] = {
    {2, "EBX", &StackSnapshot::ebx, &SavedSet::ebx},
    {4, "ECX", &StackSnapshot::ecx, &SavedSet::ecx},
    {8, "EDX", &StackSnapshot::edx, &SavedSet::edx},
    {16, "ESI", &StackSnapshot::esi, &SavedSet::esi},
    {32, "EDI", &StackSnapshot::edi, &SavedSet::edi},
};

std::string Hex8(std::uint32_t value) {
  return LongToHexText(static_cast<std::int32_t>(value), 8);
}

// A changed stack or frame pointer: the procedure cannot return safely.
// The user is told, then the program ends without going back into the
// corrupt frame.
[[noreturn]] void StackCorrupted(const std::string& text) {
  WriteDebugText(text, true);
  rt::MessageBoxShow(text, "ds_TestStack", IDI_EXCLAMATION, "", 0, rt::kMessageCopyable);
  rt::ProgramHalt(kStackCorruptedExitCode);
}

}  // namespace

std::int32_t ds_TSLevel() {
  return t_level;
}

void ds_SaveStack(const StackSnapshot* snapshot) {
  ++t_level;
  if (t_level > kMaxLevels) {
    WriteDebugText("ds_SaveStack : Too many levels, ds_TSLevel=" + rt::Decimal(t_level), true);
    return;
  }
  // A level of 0 or below comes only after tests without their saves; there
  // is no set to keep for it.
  if (t_level < 1) return;
  t_frames[t_level - 1] = {snapshot->ebp, snapshot->esp, snapshot->ebx, snapshot->ecx,
                           snapshot->edx, snapshot->esi, snapshot->edi};
}

void ds_TestStack(const StackSnapshot* snapshot) {
  if (t_level < 1) {
    const std::string text = "SaveStack - TestStack pair mismatch - " + rt::Decimal(t_level);
    WriteDebugText(text, true);
    rt::MessageBoxShow(text, "ds_TestStack", IDI_EXCLAMATION, "", 0, rt::kMessageCopyable);
  } else if (t_level <= kMaxLevels) {
    const SavedSet& saved = CurrentSet();
    if (snapshot->esp != saved.esp) {
      StackCorrupted("ESP corrupted, program will GPF - " + rt::Decimal(t_level));
    }
    if (snapshot->ebp != saved.ebp) {
      StackCorrupted("EBP corrupted, program will GPF - " + rt::Decimal(t_level));
    }
    std::int32_t mask = 0;
    for (const RegisterItem& r : kGeneralRegisters) {
      if (snapshot->*r.now != saved.*r.saved) mask |= r.bit;
    }
    if (mask != 0) {
      const std::string separator = "\r\n" + std::string(13, ' ');
      WriteDebugText("ds_TestStack ds_TSLevel=" + rt::Decimal(t_level) + separator +
                         StackRegisterDiff(snapshot, mask, separator),
                     true);
    }
  }
  --t_level;
}

std::string StackRegisterDiff(const StackSnapshot* snapshot, std::int32_t mask,
                              std::string_view separator) {
  std::string result;
  for (const RegisterItem& r : kGeneralRegisters) {
    if (!(mask & r.bit)) continue;
    const std::string item = std::string(r.name) + "=" + Hex8(snapshot->*r.now) + " LAST " +
                             r.name + "=" + Hex8(CurrentSet().*r.saved);
    if (result.empty()) {
      result = item;
    } else {
      result = rt::Clip(result) + std::string(separator) + item;
    }
  }
  return rt::Cut(result, 256);
}

// The entry stubs take the caller's registers and flags as they are at the
// call, hand them over, and put every one of them back. PUSHAD stores ESP as
// it was before the push: the caller's stack pointer with the return address
// on top, the same for two calls from one place at one depth.
__asm__(R"(
    .text
    .globl _SaveStackEntry
    .def _SaveStackEntry; .scl 2; .type 32; .endef
_SaveStackEntry:
    pushal
    pushfl
    pushl %esp
    call _RovalentSaveStack
    addl $4, %esp
    popfl
    popal
    ret

    .globl _TestStackEntry
    .def _TestStackEntry; .scl 2; .type 32; .endef
_TestStackEntry:
    pushal
    pushfl
    pushl %esp
    call _RovalentTestStack
    addl $4, %esp
    popfl
    popal
    ret
)");

extern "C" void RovalentSaveStack(const StackSnapshot* snapshot) {
  ds_SaveStack(snapshot);
}
extern "C" void RovalentTestStack(const StackSnapshot* snapshot) {
  ds_TestStack(snapshot);
}
