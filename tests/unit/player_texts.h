// Every text the player sees, spelled out here letter for letter and never
// taken from the launcher's own constants: a wrong letter (ı/i, ş/s, "..."
// for "…") in the product then fails the tests that compare against this.
#pragma once

namespace test::texts {

// Status sentences.
inline constexpr const wchar_t* kInitial = L"VandroGLADE’ı indir, parkın kapıları açılsın.";
inline constexpr const wchar_t* kPreparing = L"İndirme hazırlanıyor…";
inline constexpr const wchar_t* kDownloading = L"Parkın bilgisayarına geliyor…";
inline constexpr const wchar_t* kVerifying = L"İndirme kontrol ediliyor…";
inline constexpr const wchar_t* kInstalling = L"VandroGLADE kuruluyor…";
inline constexpr const wchar_t* kInstalled = L"Her şey hazır. Parkta görüşürüz!";
inline constexpr const wchar_t* kReadyAtStart = L"Parkın hazır. Keşfe devam edebilirsin.";
inline constexpr const wchar_t* kNewRelease = L"Yeni PC sürümü için İndir ve Kur ile devam et.";
inline constexpr const wchar_t* kNoRoom = L"Kurulum için yeterli boş alan bulunamadı.";
inline constexpr const wchar_t* kGameRunning = L"Kuruluma devam etmek için önce oyunu kapat.";
inline constexpr const wchar_t* kFailed = L"İndirme tamamlanamadı. Bağlantını kontrol edip tekrar dene.";
inline constexpr const wchar_t* kCancelled = L"İndirme durduruldu.";
inline constexpr const wchar_t* kStartupFailed = L"VandroGLADE başlatılamadı.";

// Main button labels.
inline constexpr const wchar_t* kButtonInstall = L"İndir ve Kur";
inline constexpr const wchar_t* kButtonDownloading = L"İndiriliyor…";
inline constexpr const wchar_t* kButtonInstalling = L"Kuruluyor…";
inline constexpr const wchar_t* kButtonPlay = L"Oyna";
inline constexpr const wchar_t* kButtonRetry = L"Tekrar Dene";

// Fixed texts of the window.
inline constexpr const wchar_t* kWindowTitle = L"VandroGLADE — İndir ve Oyna";
inline constexpr const wchar_t* kOpenGameLink = L"Kurulu oyunu aç";
inline constexpr const wchar_t* kCardHeading = L"Parkın\nseni bekliyor.";
inline constexpr const wchar_t* kHeadline = L"Keşfe hazır mısın?";
inline constexpr const wchar_t* kSubline = L"Oyunlar, arkadaşlar ve kocaman bir park.";
inline constexpr const wchar_t* kEditionLine = L"VandroGLADE — PC sürümü";

// Heard, not seen: what a screen reader says for the two glyphs and the
// progress bar, and the default action of everything that can be pressed.
inline constexpr const wchar_t* kMinimiseName = L"Simge durumuna küçült";
inline constexpr const wchar_t* kCloseName = L"Kapat";
inline constexpr const wchar_t* kPressAction = L"Bas";
inline constexpr const wchar_t* kProgressName = L"İndirme ilerlemesi";

}  // namespace test::texts
