// The unit tests' entry point. Each test runs in a Wine process of its own;
// once its result is printed the process ends at once. Wine's orderly
// process exit (every DLL detached, the display driver included) now and
// then hangs on a loaded machine after window tests, which would turn a
// passed test into a time-out; nothing of the launcher runs in that exit.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
    return result;
}
