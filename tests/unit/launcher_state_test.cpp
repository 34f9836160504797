#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "player_texts.h"
#include "shell/launcher_state.h"
#include "test_support.h"

namespace {

void WaitUntilIdle() {
    for (int i = 0; i < 600 && launcherState.busy.load(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace

TEST(LauncherState, SecondStartWhileBusyChangesNothing) {
    test::CleanLauncherState clean;
    test::PostCounter posts;
    launcherState.window = posts.window;
    launcherState.busy = true;
    launcherState.phase = Failed;
    launcherState.statusMessage = L"önceki";
    launcherState.bytesDone = 7;
    launcherState.bytesTotal = 9;
    launcherState.cancelRequested = true;

    StartDownload();

    EXPECT_FALSE(launcherState.worker.joinable());
    EXPECT_EQ(launcherState.phase, Failed);
    EXPECT_EQ(launcherState.statusMessage, L"önceki");
    EXPECT_EQ(launcherState.bytesDone.load(), 7u);
    EXPECT_EQ(launcherState.bytesTotal.load(), 9u);
    EXPECT_TRUE(launcherState.cancelRequested.load());
    EXPECT_EQ(posts.Drain(), 0);
}

TEST(LauncherState, StartAfterEndedAttemptJoinsAndResets) {
    test::CleanLauncherState clean;
    test::PostCounter posts;
    launcherState.window = posts.window;

    StartDownload();  // the attempt fails quickly: nothing is published at the host's manifest path
    EXPECT_TRUE(launcherState.worker.joinable());
    WaitUntilIdle();
    ASSERT_FALSE(launcherState.busy.load());
    EXPECT_EQ(ReadPhase(), Failed);

    launcherState.bytesDone = 123;
    launcherState.bytesTotal = 456;
    launcherState.cancelRequested = true;
    StartDownload();
    WaitUntilIdle();
    // The second attempt also fails before any size is known, so the
    // counters show exactly the reset.
    EXPECT_FALSE(launcherState.cancelRequested.load());
    EXPECT_EQ(launcherState.bytesTotal.load(), 0u);
    EXPECT_EQ(launcherState.bytesDone.load(), 0u);
    const std::string log = clean.LogText();
    int lines = 0;
    for (std::size_t at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 2) << log;
}

TEST(LauncherState, PublishWithoutWindowStoresButPostsNothing) {
    test::CleanLauncherState clean;
    test::PostCounter posts;
    launcherState.window = nullptr;

    PublishStatus(Verifying, L"İndirme kontrol ediliyor\u2026");

    const PhaseSnapshot snap = ReadPhaseAndMessage();
    EXPECT_EQ(snap.phase, Verifying);
    EXPECT_EQ(snap.statusMessage, L"İndirme kontrol ediliyor\u2026");
    EXPECT_EQ(posts.Drain(), 0);

    launcherState.window = posts.window;
    PublishStatus(Installing, L"x");
    EXPECT_EQ(posts.Drain(), 1);
}

TEST(LauncherState, PublishingItsOwnMessageKeepsIt) {
    test::CleanLauncherState clean;
    launcherState.statusMessage = L"aynı";
    PublishStatus(Ready, launcherState.statusMessage);
    EXPECT_EQ(ReadPhaseAndMessage().statusMessage, L"aynı");
}

TEST(LauncherState, ReaderNeverSeesMismatchedPhaseAndMessage) {
    test::CleanLauncherState clean;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop.load(); ++i) {
            if (i % 2) {
                PublishStatus(Downloading, L"Parkın bilgisayarına geliyor\u2026");
            } else {
                PublishStatus(Verifying, L"İndirme kontrol ediliyor\u2026 ve daha uzun bir metin, kopya sırasında bölünsün diye");
            }
        }
    });
    int mismatches = 0;
    for (int i = 0; i < 200000; ++i) {
        const PhaseSnapshot snap = ReadPhaseAndMessage();
        const bool downloading = snap.statusMessage.rfind(L"Parkın", 0) == 0;
        const bool verifying = snap.statusMessage.rfind(L"İndirme kontrol", 0) == 0;
        if (snap.phase == Downloading && !downloading) ++mismatches;
        if (snap.phase == Verifying && !verifying) ++mismatches;
    }
    stop = true;
    writer.join();
    EXPECT_EQ(mismatches, 0);
}

TEST(SourceText, NonAsciiLettersAreSingleUtf16Units) {
    // The compiler must read the sources as UTF-8: each of these is one unit.
    const std::wstring preparing = test::texts::kPreparing;
    EXPECT_EQ(preparing.back(), wchar_t{0x2026});
    EXPECT_EQ(preparing.front(), wchar_t{0x0130});  // İ
    const std::wstring initial = test::texts::kInitial;
    EXPECT_EQ(initial.substr(11, 2), std::wstring({wchar_t{0x2019}, wchar_t{0x0131}}));  // ’ı
    EXPECT_EQ(std::wstring(L"×—·").size(), 3u);
    EXPECT_EQ(std::wstring(L"×—·"), std::wstring({wchar_t{0x00D7}, wchar_t{0x2014}, wchar_t{0x00B7}}));
}
