#include "ui/screen_elements.h"

#include <array>

namespace {

constexpr CanvasPoint CentreOf(const CanvasRect& r) { return {r.x + r.width * 0.5f, r.y + r.height * 0.5f}; }

// The bar and the counter under it are one element for a reader.
constexpr CanvasRect kProgressRect{kProgressTrackRect.x, kProgressTrackRect.y, kProgressTrackRect.width,
                                   kByteCounterRect.y + kByteCounterRect.height - kProgressTrackRect.y};

#ifndef VANDRO_WEB_ADDRESS
#define VANDRO_WEB_ADDRESS "vandro.example"
#endif
constexpr const wchar_t* kWebAddress = L"" VANDRO_WEB_ADDRESS;

constexpr ElementText kNone = ElementText::None;
constexpr ElementText kFixed = ElementText::Fixed;

// A text that says what it shows, fixed, drawn in `layer`.
constexpr ScreenElement FixedText(LONG id, const wchar_t* text, ElementLayer layer, TextStyle style) {
    return {id, style.rect, ElementRole::StaticText, kFixed, text, text, kNone, kNone, nullptr, ElementShown::Always,
            ElementEnabled::Always, std::nullopt, layer, ElementLook::Text, style, std::nullopt};
}

constexpr CanvasRect kLogoRect{38, 8, 250, 260};  // the picture and the word under it
constexpr CanvasRect kBadgeRect{656, 119, 111, 27};
constexpr CanvasRect kSystemLineRect{656, 492, 264, 23};
constexpr CanvasRect kEditionLineRect{656, 511, 264, 20};

// The glyphs' drawn texts ("—", "×") say nothing: a reader hears their names.
// The card heading's line break is only layout.
constexpr std::array kElements{
    ScreenElement{kMinimiseChild, kMinimiseGlyphRect, ElementRole::PushButton, kFixed, L"Simge durumuna küçült",
                  L"\u2014", kNone, kNone, nullptr, ElementShown::Always, ElementEnabled::Always, std::nullopt,
                  ElementLayer::Live, ElementLook::Text, {kMinimiseGlyphRect, 18, &Palette::glyph, false, true},
                  CentreOf(kMinimiseGlyphRect)},
    ScreenElement{kCloseChild, kCloseGlyphRect, ElementRole::PushButton, kFixed, L"Kapat", L"\u00D7", kNone, kNone,
                  L"Alt+F4", ElementShown::Always, ElementEnabled::Always, std::nullopt, ElementLayer::Live,
                  ElementLook::Text, {kCloseGlyphRect, 25, &Palette::glyph, false, true}, CentreOf(kCloseGlyphRect)},
    // The picture and its word are one graphic; a contrast theme draws the word only.
    ScreenElement{kLogoChild, kLogoRect, ElementRole::Graphic, kFixed, L"VandroGLADE", L"GLADE", kNone, kNone,
                  nullptr, ElementShown::Always, ElementEnabled::Always, std::nullopt, ElementLayer::Backdrop,
                  ElementLook::Logo, {{90, 220, 150, 48}, 30, &Palette::logoWord, true, true}, std::nullopt},
    FixedText(kHeadlineChild, L"Keşfe hazır mısın?", ElementLayer::Backdrop,
              {{50, 445, 530, 65}, 37, &Palette::headline, true, false}),
    FixedText(kSublineChild, L"Oyunlar, arkadaşlar ve kocaman bir park.", ElementLayer::Backdrop,
              {{53, 510, 510, 52}, 17, &Palette::subline, false, false}),
    FixedText(kWebAddressChild, kWebAddress, ElementLayer::Backdrop,
              {{53, 595, 450, 28}, 15, &Palette::webAddress, true, false}),
    // Its fill is drawn with it, under the text, outside a contrast theme.
    ScreenElement{kBadgeChild, kBadgeRect, ElementRole::StaticText, kFixed, L"WINDOWS", L"WINDOWS", kNone, kNone,
                  nullptr, ElementShown::Always, ElementEnabled::Always, std::nullopt, ElementLayer::Card,
                  ElementLook::Badge, {{658, 119, 107, 27}, 11, &Palette::badgeText, true, true}, std::nullopt},
    ScreenElement{kHeadingChild, kCardHeadingRect, ElementRole::StaticText, kFixed, L"Parkın seni bekliyor.",
                  kCardHeadingText, kNone, kNone, nullptr, ElementShown::Always, ElementEnabled::Always,
                  std::nullopt, ElementLayer::Card, ElementLook::Text,
                  {kCardHeadingRect, 31, &Palette::cardHeading, true, false}, std::nullopt},
    ScreenElement{kStatusChild, kStatusRect, ElementRole::StaticText, ElementText::Status, nullptr, nullptr, kNone,
                  kNone, nullptr, ElementShown::Always, ElementEnabled::Always, std::nullopt, ElementLayer::Live,
                  ElementLook::Text, {kStatusRect, 15, &Palette::status, false, false}, std::nullopt},
    // Its value is the percentage, its description the counter drawn under
    // it, which is not an element of its own, so it is not read twice.
    ScreenElement{kProgressChild, kProgressRect, ElementRole::ProgressBar, kFixed, L"İndirme ilerlemesi", nullptr,
                  ElementText::ProgressValue, ElementText::Counter, nullptr, ElementShown::Always,
                  ElementEnabled::Always, std::nullopt, ElementLayer::Live, ElementLook::Bar,
                  {kByteCounterRect, 12, &Palette::counter, false, false}, std::nullopt},
    ScreenElement{kMainButtonChild, kMainButtonRect, ElementRole::PushButton, ElementText::ButtonLabel, nullptr,
                  nullptr, kNone, kNone, nullptr, ElementShown::Always, ElementEnabled::WhenIdle,
                  KeyboardFocus::MainButton, ElementLayer::Live, ElementLook::Button,
                  {{662, 404, 252, 59}, 19, &Palette::buttonLabel, true, true}, kKeyboardPressPoint},
    ScreenElement{kLinkChild, kOpenGameLinkRect, ElementRole::Link, kFixed, kOpenGameLinkText, kOpenGameLinkText,
                  kNone, kNone, nullptr, ElementShown::WithLink, ElementEnabled::WhenIdle, KeyboardFocus::Link,
                  ElementLayer::Live, ElementLook::Text, {kOpenGameLinkRect, 12, &Palette::link, true, true},
                  kLinkPressPoint},
    FixedText(kSystemLineChild, L"Windows 10/11 · 64 bit", ElementLayer::Live,
              {kSystemLineRect, 12, &Palette::smallPrint, false, true}),
    FixedText(kEditionLineChild, L"VandroGLADE \u2014 PC sürümü", ElementLayer::Live,
              {kEditionLineRect, 12, &Palette::smallPrint, false, true}),
};

constexpr bool InReadingOrder() {
    for (std::size_t i = 0; i < kElements.size(); ++i) {
        if (kElements[i].id != static_cast<LONG>(i + 1)) return false;
    }
    return true;
}
static_assert(InReadingOrder(), "child ids are the elements' places in the table, from 1");

}  // namespace

std::span<const ScreenElement> ScreenElements() { return kElements; }

const ScreenElement& ElementOf(LONG id) { return kElements.at(static_cast<std::size_t>(id - 1)); }

bool ElementShownIn(const ScreenElement& element, const ScreenModel& model) {
    return element.shown == ElementShown::Always || model.linkShown;
}

bool ElementEnabledIn(const ScreenElement& element, const ScreenModel& model) {
    return element.enabled == ElementEnabled::Always || !model.busy;
}

std::wstring ElementTextIn(ElementText source, const ScreenElement& element, const ScreenModel& model) {
    switch (source) {
        case ElementText::Fixed: return element.fixedName;
        case ElementText::Status: return model.statusMessage;
        case ElementText::ButtonLabel: return model.buttonLabel;
        case ElementText::ProgressValue: return model.progressValue;
        case ElementText::Counter: return model.counterText;
        case ElementText::None: break;
    }
    return {};
}

LONG ElementAt(CanvasPoint point, const ScreenModel& model) {
    for (const ScreenElement& element : kElements) {
        if (ElementShownIn(element, model) && element.rect.Contains(point)) return element.id;
    }
    return CHILDID_SELF;
}

const ScreenElement& ElementWithFocus(KeyboardFocus focus) {
    for (const ScreenElement& element : kElements) {
        if (element.tabStop == focus) return element;
    }
    return ElementOf(kMainButtonChild);
}
