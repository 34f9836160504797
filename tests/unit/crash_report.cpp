// A test process that crashes says so at once and ends, instead of waiting
// on the system's crash debugger (under Wine, winedbg may hang or print
// nothing into the test's output). Its output is written as it comes, so a
// run cut short still shows how far it got.
#include <windows.h>

#include <cstdio>

namespace {

LONG WINAPI ReportAndEnd(EXCEPTION_POINTERS* info) {
    char line[160];
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    const int length = std::snprintf(line, sizeof line, "\ntest process crashed: exception 0x%08lx at %p in thread %lu\n",
                                     record->ExceptionCode, record->ExceptionAddress, GetCurrentThreadId());
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), record->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

const bool installed = [] {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(ReportAndEnd);
    return true;
}();

}  // namespace
