// The window's elements, one entry each, in reading order: where each lies
// on the canvas, what a reader is told of it, when it is shown and enabled,
// whether Tab reaches it, how it is drawn and where a press lands. The
// painter, the pointer, the accessible tree, Tab and the press all read this
// one table; whether an element is shown or enabled now is the model's.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "ui/screen_model.h"

// Child ids: the element's place in reading order, fixed for the window's
// life. The link keeps its id while it is not shown.
enum AccessibleChild : LONG {
    kMinimiseChild = 1,
    kCloseChild = 2,
    kLogoChild = 3,
    kHeadlineChild = 4,
    kSublineChild = 5,
    kWebAddressChild = 6,
    kBadgeChild = 7,
    kHeadingChild = 8,
    kStatusChild = 9,
    kProgressChild = 10,
    kMainButtonChild = 11,
    kLinkChild = 12,
    kSystemLineChild = 13,
    kEditionLineChild = 14,
};

enum class ElementRole { PushButton, StaticText, Graphic, ProgressBar, Link };
// Where one of an element's texts comes from.
enum class ElementText { None, Fixed, Status, ButtonLabel, ProgressValue, Counter };
// When an element is there, and when it acts; the model decides both.
enum class ElementShown { Always, WithLink };
enum class ElementEnabled { Always, WhenIdle };
// Scenery that does not change with the launcher's state, under the card or
// on it; or drawn from the model at each frame.
enum class ElementLayer { Backdrop, Card, Live };
enum class ElementLook { Text, Logo, Badge, Bar, Button };

struct TextStyle {
    CanvasRect rect;
    float size;
    std::uint32_t Palette::*colour;
    bool bold;
    bool centred;
};

struct ScreenElement {
    LONG id;
    CanvasRect rect;  // located, hit and clicked
    ElementRole role;
    ElementText name;
    const wchar_t* fixedName;   // the name read, when it is fixed
    const wchar_t* drawnText;   // the text drawn, when it is fixed
    ElementText value;
    ElementText description;
    const wchar_t* shortcut;    // the keyboard shortcut a reader names, if any
    ElementShown shown;
    ElementEnabled enabled;
    std::optional<KeyboardFocus> tabStop;  // the focus Tab gives it
    ElementLayer layer;
    ElementLook look;
    TextStyle style;
    std::optional<CanvasPoint> press;  // where the keyboard or a reader presses it
};

// Every element, in reading order (child id 1 first).
std::span<const ScreenElement> ScreenElements();
// The element of a child id from 1 to the count of ScreenElements().
const ScreenElement& ElementOf(LONG id);

bool ElementShownIn(const ScreenElement& element, const ScreenModel& model);
bool ElementEnabledIn(const ScreenElement& element, const ScreenModel& model);
// One of the element's texts in this model; empty when it has none.
std::wstring ElementTextIn(ElementText source, const ScreenElement& element, const ScreenModel& model);

// The first shown element whose rectangle holds the point, in reading
// order; 0 (the client itself) when none does.
LONG ElementAt(CanvasPoint point, const ScreenModel& model);
// The element that holds this focus.
const ScreenElement& ElementWithFocus(KeyboardFocus focus);
