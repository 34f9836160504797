#include "ui/announcer.h"

#include <oleacc.h>

#include "ui/accessible_tree.h"

namespace {

Announced announced;

void Raise(DWORD event, HWND window, LONG child) {
    NotifyWinEvent(event, window, static_cast<LONG>(OBJID_CLIENT), child);
}

void RaiseFocus(HWND window, const ScreenModel& model) {
    if (GetFocus() == window) Raise(EVENT_OBJECT_FOCUS, window, FocusedChild(model));
}

}  // namespace

std::vector<AccessibleEvent> ChangesToAnnounce(Announced& last, HWND window, const ScreenModel& model,
                                               ULONGLONG now) {
    std::vector<AccessibleEvent> events;
    if (last.window != window) {
        last = Announced{window, model.statusMessage, model.progressValue, model.buttonLabel,
                         model.busy,  model.linkShown,     0};
        return events;
    }
    if (model.statusMessage != last.status) {
        last.status = model.statusMessage;
        events.push_back({EVENT_OBJECT_NAMECHANGE, kStatusChild});
        events.push_back({EVENT_OBJECT_LIVEREGIONCHANGED, kStatusChild});
    }
    if (model.progressValue != last.value && now - last.valueEventTick >= kValueEventSpacingMs) {
        last.value = model.progressValue;
        last.valueEventTick = now;
        events.push_back({EVENT_OBJECT_VALUECHANGE, kProgressChild});
    }
    if (model.buttonLabel != last.label || model.busy != last.busy) {
        last.label = model.buttonLabel;
        last.busy = model.busy;
        events.push_back({EVENT_OBJECT_NAMECHANGE, kMainButtonChild});
        events.push_back({EVENT_OBJECT_STATECHANGE, kMainButtonChild});
    }
    // The link came or went: the client's children are 6 or 7 now, and a
    // reader that keeps a copy of the tree reads it again.
    if (model.linkShown != last.linkShown) {
        last.linkShown = model.linkShown;
        events.push_back({EVENT_OBJECT_REORDER, CHILDID_SELF});
    }
    return events;
}

void AnnounceScreen(HWND window, const ScreenModel& model) {
    if (SettleKeyboardFocus(model)) RaiseFocus(window, model);
    for (const AccessibleEvent& e : ChangesToAnnounce(announced, window, model, GetTickCount64())) {
        Raise(e.event, window, e.child);
    }
}

void AnnounceFocus(HWND window) { RaiseFocus(window, BuildScreenModel(window)); }

void ForgetAnnouncements() { announced = Announced{}; }
