#include "ui/accessible_tree.h"

#include <oleacc.h>

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/window_proc.h"


namespace {

// The one verb of every element that acts.
constexpr const wchar_t* kPressAction = L"Bas";

// UI Automation's LiveSetting property and its "polite" and "assertive"
// values, which MSAA servers set through IAccPropServices (not in MinGW's
// headers).
constexpr GUID kLiveSettingProperty = {0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr LONG kLivePolite = 1;
constexpr LONG kLiveAssertive = 2;


struct ComRelease {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <class T>
using ComRef = std::unique_ptr<T, ComRelease>;

// Every element is a child, shown or not, so that ids stay put.
LONG ChildCount() { return static_cast<LONG>(ScreenElements().size()); }

// The next (or previous) shown element after `from`; 0 when there is none.
LONG NextShown(LONG from, LONG step, const ScreenModel& model) {
    for (LONG id = from + step; id >= 1 && id <= ChildCount(); id += step) {
        if (ElementShownIn(ElementOf(id), model)) return id;
    }
    return 0;
}

LONG RoleOf(const ScreenElement& element) {
    switch (element.role) {
        case ElementRole::StaticText: return ROLE_SYSTEM_STATICTEXT;
        case ElementRole::Graphic: return ROLE_SYSTEM_GRAPHIC;
        case ElementRole::ProgressBar: return ROLE_SYSTEM_PROGRESSBAR;
        case ElementRole::Link: return ROLE_SYSTEM_LINK;
        case ElementRole::PushButton: break;
    }
    return ROLE_SYSTEM_PUSHBUTTON;
}

// What the element is, from its entry, and what the model makes of it now.
LONG StateOf(const ScreenElement& element, const ScreenModel& model) {
    LONG flags = 0;
    if (element.role == ElementRole::StaticText || element.role == ElementRole::ProgressBar ||
        element.role == ElementRole::Graphic) {
        flags |= STATE_SYSTEM_READONLY;
    }
    if (element.tabStop) flags |= STATE_SYSTEM_FOCUSABLE;
    if (element.role == ElementRole::Link) flags |= STATE_SYSTEM_LINKED;
    if (!ElementEnabledIn(element, model)) flags |= STATE_SYSTEM_UNAVAILABLE;
    if (!ElementShownIn(element, model)) flags |= STATE_SYSTEM_INVISIBLE;
    return flags;
}

HRESULT ReturnText(const std::wstring& text, BSTR* out) {
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

void SetChildVariant(VARIANT* out, LONG child) {
    out->vt = VT_I4;
    out->lVal = child;
}

HRESULT ReturnEmpty(VARIANT* out) {
    out->vt = VT_EMPTY;
    return S_FALSE;
}

// No C++ exception leaves a COM method. Only the model's allocations can
// throw here (std::bad_alloc).
template <class Call>
HRESULT Guarded(Call&& call) noexcept {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

class AccessibleWindow;
// The objects handed out and still alive; window thread only (the apartment
// is single-threaded, so every call and release arrives there).
std::vector<AccessibleWindow*> liveObjects;

// The client area of one window. It keeps no copy of the screen: every call
// reads the launcher's state afresh, as a paint does.
class AccessibleWindow final : public IAccessible {
public:
    explicit AccessibleWindow(HWND window) : window_(window) { liveObjects.push_back(this); }
    ~AccessibleWindow() { liveObjects.erase(std::find(liveObjects.begin(), liveObjects.end(), this)); }
    AccessibleWindow(const AccessibleWindow&) = delete;
    AccessibleWindow& operator=(const AccessibleWindow&) = delete;

    HWND Window() const { return window_; }
    void Disconnect() { window_ = nullptr; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IAccessible) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = --references_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch: clients use the IAccessible methods directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (!parent) return E_POINTER;
        *parent = nullptr;
        if (!Connected()) return CO_E_OBJNOTCONNECTED;
        return AccessibleObjectFromWindow(window_, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                          reinterpret_cast<void**>(parent));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        return Guarded([&]() -> HRESULT {
            if (!count) return E_POINTER;
            if (!Connected()) return CO_E_OBJNOTCONNECTED;
            *count = ChildCount();
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        return Guarded([&]() -> HRESULT {
            if (!out) return E_POINTER;
            *out = nullptr;
            const Target t = Find(child);
            if (FAILED(t.result)) return t.result;
            return t.id == CHILDID_SELF ? E_INVALIDARG : S_FALSE;  // simple elements, no objects of their own
        });
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return Guarded([&]() -> HRESULT {
            if (!name) return E_POINTER;
            *name = nullptr;
            const Target t = Find(child);
            if (FAILED(t.result)) return t.result;
            if (t.id == CHILDID_SELF) return ReturnText(kWindowTitle, name);
            const ScreenElement& e = ElementOf(t.id);
            return ReturnText(ElementTextIn(e.name, e, t.model), name);
        });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return Guarded([&]() -> HRESULT {
            if (!value) return E_POINTER;
            *value = nullptr;
            const Target t = Find(child);
            if (FAILED(t.result)) return t.result;
            if (t.id == CHILDID_SELF || ElementOf(t.id).value == ElementText::None) return DISP_E_MEMBERNOTFOUND;
            const ScreenElement& e = ElementOf(t.id);
            return ReturnText(ElementTextIn(e.value, e, t.model), value);
        });
    }
    // The bar's description (the counter) changes with no event of its own.
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        if (!text) return E_POINTER;
        *text = nullptr;
        return Guarded([&]() -> HRESULT {
            const Target t = Find(child);
            if (FAILED(t.result)) return t.result;
            if (t.id == CHILDID_SELF) return S_FALSE;
            const ScreenElement& e = ElementOf(t.id);
            const std::wstring description = ElementTextIn(e.description, e, t.model);
            return description.empty() ? S_FALSE : ReturnText(description, text);
        });
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        return Guarded([&]() -> HRESULT {
            if (!role) return E_POINTER;
            role->vt = VT_EMPTY;
            const Target t = Find(child);
            if (FAILED(t.result)) return t.result;
            role->vt = VT_I4;
            role->lVal = t.id == CHILDID_SELF ? ROLE_SYSTEM_DIALOG : RoleOf(ElementOf(t.id));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return Guarded([&]() -> HRESULT {
            if (!state) return E_POINTER;
            state->vt = VT_EMPTY;
            const Target t = Find(child);
            if (FAILED(t.result)) return t.result;
            const bool focused = GetFocus() == window_ && FocusedChild(t.model) == t.id;
            const LONG flags = t.id == CHILDID_SELF ? STATE_SYSTEM_FOCUSABLE : StateOf(ElementOf(t.id), t.model);
            state->vt = VT_I4;
            state->lVal = flags | (focused ? STATE_SYSTEM_FOCUSED : 0);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override { return NoText(child, text); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
        if (!file || !topic) return E_POINTER;
        *file = nullptr;
        *topic = 0;
        return Connected() ? S_FALSE : CO_E_OBJNOTCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override {
        if (!text) return E_POINTER;
        *text = nullptr;
        return Guarded([&]() -> HRESULT {
            const Target t = Find(child);
            if (FAILED(t.result)) return t.result;
            const wchar_t* shortcut = t.id == CHILDID_SELF ? nullptr : ElementOf(t.id).shortcut;
            return shortcut ? ReturnText(shortcut, text) : S_FALSE;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        return Guarded([&]() -> HRESULT {
            if (!focus) return E_POINTER;
            focus->vt = VT_EMPTY;
            if (!Connected()) return CO_E_OBJNOTCONNECTED;
            if (GetFocus() != window_) return S_FALSE;
            SetChildVariant(focus, FocusedChild(BuildScreenModel(window_)));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        if (!selection) return E_POINTER;
        selection->vt = VT_EMPTY;
        return Connected() ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return Guarded([&]() -> HRESULT {
            if (!action) return E_POINTER;
            *action = nullptr;
            const Target t = Find(child);
            if (FAILED(t.result)) return t.result;
            const bool acts = t.id != CHILDID_SELF && ElementOf(t.id).press;
            return acts ? ReturnText(kPressAction, action) : DISP_E_MEMBERNOTFOUND;
        });
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG, VARIANT) override {
        return Connected() ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
        return Guarded([&]() -> HRESULT {
            if (!left || !top || !width || !height) return E_POINTER;
            *left = *top = *width = *height = 0;
            const Target t = Find(child);
            if (FAILED(t.result)) return t.result;
            RECT client{};
            if (t.id == CHILDID_SELF) {
                GetClientRect(window_, &client);
            } else {
                const CanvasRect r = ElementOf(t.id).rect;
                const POINT topLeft = CanvasToClient(canvasMapping, {r.x, r.y});
                const POINT bottomRight = CanvasToClient(canvasMapping, {r.x + r.width, r.y + r.height});
                client = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
            }
            POINT origin{client.left, client.top};
            ClientToScreen(window_, &origin);
            *left = origin.x;
            *top = origin.y;
            *width = client.right - client.left;
            *height = client.bottom - client.top;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        return Guarded([&]() -> HRESULT {
            if (!end) return E_POINTER;
            end->vt = VT_EMPTY;
            const Target from = Find(start);
            if (FAILED(from.result)) return from.result;
            LONG to = 0;
            if (from.id == CHILDID_SELF) {
                if (direction == NAVDIR_FIRSTCHILD) to = NextShown(0, 1, from.model);
                if (direction == NAVDIR_LASTCHILD) to = NextShown(ChildCount() + 1, -1, from.model);
            } else if (direction == NAVDIR_NEXT) {
                to = NextShown(from.id, 1, from.model);
            } else if (direction == NAVDIR_PREVIOUS) {
                to = NextShown(from.id, -1, from.model);
            }
            if (to == 0) return ReturnEmpty(end);
            SetChildVariant(end, to);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG screenX, LONG screenY, VARIANT* hit) override {
        return Guarded([&]() -> HRESULT {
            if (!hit) return E_POINTER;
            hit->vt = VT_EMPTY;
            if (!Connected()) return CO_E_OBJNOTCONNECTED;
            POINT point{screenX, screenY};
            ScreenToClient(window_, &point);
            RECT client{};
            GetClientRect(window_, &client);
            if (!PtInRect(&client, point)) return ReturnEmpty(hit);
            const CanvasPoint canvas =
                ClientToCanvas(canvasMapping, static_cast<float>(point.x), static_cast<float>(point.y));
            SetChildVariant(hit, ElementAt(canvas, BuildScreenModel(window_)));
            return S_OK;
        });
    }
    // Acts as Enter on the element does, later, on the window's own message
    // loop: nothing starts inside the reader's call, and the press lands
    // where the element is when it is handled.
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return Guarded([&]() -> HRESULT {
            const Target t = Find(child);
            if (FAILED(t.result)) return t.result;
            const bool acts = t.id != CHILDID_SELF && ElementOf(t.id).press && ElementShownIn(ElementOf(t.id), t.model);
            if (!acts) return DISP_E_MEMBERNOTFOUND;
            return PostMessageW(window_, WM_READER_PRESS, static_cast<WPARAM>(t.id), 0) ? S_OK : E_FAIL;
        });
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    bool Connected() const { return window_ && IsWindow(window_); }

    // What a call on an element starts from: the screen as it is now and the
    // id the variant names, this object or one of its present children.
    struct Target {
        HRESULT result;  // S_OK, CO_E_OBJNOTCONNECTED or E_INVALIDARG
        ScreenModel model;
        LONG id;
    };
    Target Find(const VARIANT& child) const {
        if (!Connected()) return {CO_E_OBJNOTCONNECTED, {}, 0};
        ScreenModel model = BuildScreenModel(window_);
        const bool present = child.vt == VT_I4 && child.lVal >= CHILDID_SELF && child.lVal <= ChildCount();
        return {present ? S_OK : E_INVALIDARG, std::move(model), present ? child.lVal : 0};
    }

    HRESULT NoText(const VARIANT& child, BSTR* text) const {
        if (!text) return E_POINTER;
        *text = nullptr;
        return Guarded([&]() -> HRESULT {
            const Target t = Find(child);
            return FAILED(t.result) ? t.result : S_FALSE;
        });
    }

    HWND window_;
    LONG references_ = 1;
};

// The window's one object, made at the first request and handed out again;
// window thread only.
ComRef<AccessibleWindow> servedObject;

ComRef<IAccPropServices> PropertyServices() {
    IAccPropServices* services = nullptr;
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                reinterpret_cast<void**>(&services)))) {
        return nullptr;
    }
    return ComRef<IAccPropServices>(services);
}

}  // namespace

LONG FocusedChild(const ScreenModel& model) { return ElementWithFocus(model.focused).id; }

bool IsClientObjectRequest(LPARAM objectId) {
    return static_cast<DWORD>(objectId) == static_cast<DWORD>(OBJID_CLIENT);
}

LRESULT ServeAccessibleTree(HWND window, WPARAM wParam) {
    if (!servedObject || servedObject->Window() != window) {
        servedObject.reset(new (std::nothrow) AccessibleWindow(window));
        if (!servedObject) return 0;
    }
    return LresultFromObject(IID_IAccessible, wParam, servedObject.get());
}

void PrepareAccessibleTree(HWND window) { SetStatusLiveSetting(window, /*assertive*/ false); }

void SetStatusLiveSetting(HWND window, bool assertive) {
    if (const ComRef<IAccPropServices> services = PropertyServices()) {
        VARIANT setting{};
        setting.vt = VT_I4;
        setting.lVal = assertive ? kLiveAssertive : kLivePolite;
        services->SetHwndProp(window, static_cast<DWORD>(OBJID_CLIENT), kStatusChild, kLiveSettingProperty, setting);
    }
}

void DisconnectAccessibleTree(HWND window) {
    if (const ComRef<IAccPropServices> services = PropertyServices()) {
        MSAAPROPID property = kLiveSettingProperty;
        services->ClearHwndProps(window, static_cast<DWORD>(OBJID_CLIENT), kStatusChild, &property, 1);
    }
    // The window's own reference goes after the cut-off, and a disconnect
    // may release the last reference and so end the object.
    ComRef<AccessibleWindow> served;
    if (servedObject && servedObject->Window() == window) served = std::move(servedObject);
    std::vector<ComRef<AccessibleWindow>> objects;
    for (AccessibleWindow* object : liveObjects) {
        if (object->Window() != window) continue;
        object->AddRef();
        objects.emplace_back(object);
    }
    for (const auto& object : objects) {
        object->Disconnect();
        CoDisconnectObject(object.get(), 0);
    }
}
