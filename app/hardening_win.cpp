// Windows keeps no core files, but Windows Error Reporting may collect a
// crashed program's memory: a report's minidump, or a full dump where an
// administrator has set LocalDumps for it. Both would carry the passwords the
// process holds. What a program can do for itself, without writing settings
// that outlive it:
//  - SetErrorMode: no error box of the system's on a crash, nor on a drive
//    without a medium;
//  - WerSetFlags (Vista and later): no heap in a report this process makes,
//    and no error-reporting window;
//  - its own last-chance exception handler, which ends the process on the
//    spot, so error reporting (which runs from the default handler) sees no
//    crash to collect. Only a fail-fast stop bypasses it, and that report
//    then carries no heap.
// Reading the memory of a running program of the same user (a debugger) is
// Windows' own user boundary and is left as it is.
#include <windows.h>

#include "hardening.h"

namespace {

LONG WINAPI EndWithoutReport(EXCEPTION_POINTERS* exception) {
  TerminateProcess(GetCurrentProcess(), exception ? exception->ExceptionRecord->ExceptionCode : 1u);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void KeepSecretsOutOfCoreDumps() {
  SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  // Looked up rather than linked: a system without it still starts.
  using WerSetFlagsFn = HRESULT(WINAPI*)(DWORD);
  constexpr DWORD kNoHeap = 1;  // WER_FAULT_REPORTING_FLAG_NOHEAP
  constexpr DWORD kNoUi = 32;   // WER_FAULT_REPORTING_NO_UI
  if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
    if (auto set = reinterpret_cast<WerSetFlagsFn>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, "WerSetFlags"))))
      set(kNoHeap | kNoUi);
  }
  SetUnhandledExceptionFilter(EndWithoutReport);
}
