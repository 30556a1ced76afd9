// Looking procedures up at run time, so that the library never imports the
// system functions that not every Windows version offers.
#include "rovalent_internal.h"

BOOL(WINAPI* rvseam::freeLibrary)(HMODULE) = ::FreeLibrary;

namespace {

constexpr std::size_t kSystemNameMax = 254;

// Records a failed step under "/debug": its words, a blank and the system's
// text of the failure. The error is taken right after the failing call, since
// building the words may touch the thread's last error.
void RecordFailure(DWORD error, std::string_view words) {
  if (!SwitchOn(RvSwitch::Debug)) return;
  RovalentErrorTextSet(std::string(words) + " " + SystemErrorText(error));
  SetRovalentError(rverr::kLoadDLLProc);
}

using Loader = HMODULE (*)(const std::string& name);

HMODULE LoadByName(const std::string& name) {
  return ::LoadLibraryA(name.c_str());
}

std::int32_t LoadProc(std::string_view dllName, std::string_view procedureName,
                      ProcVariable& procedure, HMODULE* module, Loader load) {
  ClearRovalentError("ds_LoadDLLProc");
  const std::int32_t known = procedure.load();
  if (known == kProcLookupFailed) return 1;
  if (known != 0) return 0;

  const std::string dll = rt::Clip(dllName);
  const std::string proc = rt::Clip(procedureName);
  const std::string dllForSystem = rt::Cut(dll, kSystemNameMax);
  const std::string procForSystem = rt::Cut(proc, kSystemNameMax);

  rt::UniqueModule library(load(dllForSystem));
  if (!library) {
    const DWORD loadError = ::GetLastError();
    RecordFailure(loadError, "ds_LoadDLLProc error, LoadLibrary failed DLL=" + dll);
    procedure = kProcLookupFailed;
    return 1;
  }
  const FARPROC address = ::GetProcAddress(library.get(), procForSystem.c_str());
  const DWORD lookupError = ::GetLastError();
  procedure = static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(address));
  if (address != nullptr) {
    if (module != nullptr) *module = library.get();
    // The procedure is called for the rest of the run: its DLL stays loaded.
    library.release();
    return 0;
  }
  RecordFailure(lookupError,
                "ds_LoadDLLProc error, GetProcAddress failed Proc=" + proc + " DLL=" + dll);
  if (!rvseam::freeLibrary(library.release())) {
    const DWORD freeError = ::GetLastError();
    RecordFailure(freeError, "ds_LoadDLLProc error, FreeLibrary failed DLL=" + dll);
  }
  procedure = kProcLookupFailed;
  return 1;
}

}  // namespace

std::int32_t ds_LoadDLLProc(std::string_view dllName, std::string_view procedureName,
                            ProcVariable& procedure, HMODULE* module) {
  return LoadProc(dllName, procedureName, procedure, module, LoadByName);
}

std::int32_t LoadSystemDLLProc(std::string_view dllName, std::string_view procedureName,
                               ProcVariable& procedure) {
  return LoadProc(dllName, procedureName, procedure, nullptr,
                  [](const std::string& name) { return rt::SystemLibraryLoad(name); });
}
