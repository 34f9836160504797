#include "ui/screen_elements.h"

#include <array>

namespace {

constexpr CanvasPoint CentreOf(const CanvasRect& r) { return {r.x + r.width * 0.5f, r.y + r.height * 0.5f}; }

// The bar and the counter under it are one element for a reader.
constexpr CanvasRect kProgressRect{kProgressTrackRect.x, kProgressTrackRect.y, kProgressTrackRect.width,
                                   kByteCounterRect.y + kByteCounterRect.height - kProgressTrackRect.y};

constexpr ElementText kNone = ElementText::None;
constexpr ElementText kFixed = ElementText::Fixed;

// The glyphs' drawn texts ("—", "×") say nothing: a reader hears their names.
constexpr std::array kElements{
    ScreenElement{kMinimiseChild, kMinimiseGlyphRect, ElementRole::PushButton, kFixed, L"Simge durumuna küçült",
                  L"\u2014", kNone, kNone, ElementShown::Always, ElementEnabled::Always, std::nullopt,
                  ElementLayer::Live, ElementLook::Text, {kMinimiseGlyphRect, 18, &Palette::glyph, false, true},
                  CentreOf(kMinimiseGlyphRect)},
    ScreenElement{kCloseChild, kCloseGlyphRect, ElementRole::PushButton, kFixed, L"Kapat", L"\u00D7", kNone, kNone,
                  ElementShown::Always, ElementEnabled::Always, std::nullopt, ElementLayer::Live, ElementLook::Text,
                  {kCloseGlyphRect, 25, &Palette::glyph, false, true}, CentreOf(kCloseGlyphRect)},
    ScreenElement{kHeadingChild, kCardHeadingRect, ElementRole::StaticText, kFixed, L"Parkın seni bekliyor.",
                  kCardHeadingText, kNone, kNone, ElementShown::Always, ElementEnabled::Always, std::nullopt,
                  ElementLayer::Scenery, ElementLook::Text, {kCardHeadingRect, 31, &Palette::cardHeading, true, false},
                  std::nullopt},
    ScreenElement{kStatusChild, kStatusRect, ElementRole::StaticText, ElementText::Status, nullptr, nullptr, kNone,
                  kNone, ElementShown::Always, ElementEnabled::Always, std::nullopt, ElementLayer::Live,
                  ElementLook::Text, {kStatusRect, 15, &Palette::status, false, false}, std::nullopt},
    // Its value is the percentage, its description the counter drawn under it.
    ScreenElement{kProgressChild, kProgressRect, ElementRole::ProgressBar, kFixed, L"İndirme ilerlemesi", nullptr,
                  ElementText::ProgressValue, ElementText::Counter, ElementShown::Always, ElementEnabled::Always,
                  std::nullopt, ElementLayer::Live, ElementLook::Bar,
                  {kByteCounterRect, 12, &Palette::counter, false, false}, std::nullopt},
    ScreenElement{kMainButtonChild, kMainButtonRect, ElementRole::PushButton, ElementText::ButtonLabel, nullptr,
                  nullptr, kNone, kNone, ElementShown::Always, ElementEnabled::WhenIdle, KeyboardFocus::MainButton,
                  ElementLayer::Live, ElementLook::Button, {{662, 404, 252, 59}, 19, &Palette::buttonLabel, true, true},
                  kKeyboardPressPoint},
    ScreenElement{kLinkChild, kOpenGameLinkRect, ElementRole::Link, kFixed, kOpenGameLinkText, kOpenGameLinkText,
                  kNone, kNone, ElementShown::WithLink, ElementEnabled::WhenIdle, KeyboardFocus::Link,
                  ElementLayer::Live, ElementLook::Text, {kOpenGameLinkRect, 12, &Palette::link, true, true},
                  kLinkPressPoint},
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
