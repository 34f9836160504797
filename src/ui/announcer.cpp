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
                         model.busy,  model.linkShown,     false,         0};
        return events;
    }
    if (model.statusMessage != last.status) {
        last.status = model.statusMessage;
        // Every failure, cancel and stop message comes with Failed.
        const bool alert = model.phase == Failed;
        if (alert != last.alert) {
            last.alert = alert;
            events.push_back({alert ? kStatusTurnsAssertive : kStatusTurnsPolite, kStatusChild});
        }
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
    // The link came or went (it stays a child, invisible while it is not
    // shown): a reader that keeps a copy of the tree reads it again.
    if (model.linkShown != last.linkShown) {
        last.linkShown = model.linkShown;
        events.push_back({EVENT_OBJECT_REORDER, CHILDID_SELF});
    }
    return events;
}

void AnnounceScreen(HWND window, const ScreenModel& model) {
    if (SettleKeyboardFocus(model)) RaiseFocus(window, model);
    for (const AccessibleEvent& e : ChangesToAnnounce(announced, window, model, GetTickCount64())) {
        if (e.event == kStatusTurnsAssertive || e.event == kStatusTurnsPolite) {
            SetStatusLiveSetting(window, e.event == kStatusTurnsAssertive);
        } else {
            Raise(e.event, window, e.child);
        }
    }
}

void AnnounceFocus(HWND window) { RaiseFocus(window, BuildScreenModel(window)); }

void ForgetAnnouncements() { announced = Announced{}; }
