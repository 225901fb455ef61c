#include "window/win32/win32_accessible.h"

#include "device/win32/system_library.h"

#include <oleacc.h>
#include <utility>

namespace merovane {

namespace {

using CreateStdAccessibleObjectFunction = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
using LresultFromObjectFunction = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);

bool IsSelf(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

HRESULT Answer(const std::wstring& text, BSTR* answer) {
    *answer = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *answer != nullptr ? S_OK : E_OUTOFMEMORY;
}

// The standard object, with the texts given; everything else is its own.
// One COM object: every interface it hands out (IAccessible, and
// IEnumVARIANT and IOleWindow where the standard object has them) is its own
// and answers QueryInterface for IUnknown with the same pointer, as COM
// requires. The standard object's interfaces are used, never handed out.
class AnnotatedAccessible final : public IAccessible, public IEnumVARIANT, public IOleWindow {
public:
    AnnotatedAccessible(IAccessible* standard, AccessibleText text)
        : standard_(standard), text_(std::move(text)) {
        standard_->QueryInterface(__uuidof(IEnumVARIANT), reinterpret_cast<void**>(&children_));
        standard_->QueryInterface(__uuidof(IOleWindow), reinterpret_cast<void**>(&window_));
    }
    AnnotatedAccessible(const AnnotatedAccessible&) = delete;
    AnnotatedAccessible& operator=(const AnnotatedAccessible&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (id == __uuidof(IUnknown) || id == __uuidof(IDispatch) || id == __uuidof(IAccessible))
            *object = static_cast<IAccessible*>(this);
        else if (id == __uuidof(IEnumVARIANT) && children_ != nullptr)
            *object = static_cast<IEnumVARIANT*>(this);
        else if (id == __uuidof(IOleWindow) && window_ != nullptr)
            *object = static_cast<IOleWindow*>(this);
        if (*object == nullptr)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            if (children_ != nullptr)
                children_->Release();
            if (window_ != nullptr)
                window_->Release();
            standard_->Release();
            delete this;
        }
        return left;
    }

    // IEnumVARIANT: the standard object's children.
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* children, ULONG* fetched) override {
        return children_->Next(count, children, fetched);
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override { return children_->Skip(count); }
    HRESULT STDMETHODCALLTYPE Reset() override { return children_->Reset(); }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override { return children_->Clone(copy); }

    // IOleWindow: the control's window.
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        return window_->GetWindow(window);
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override {
        return window_->ContextSensitiveHelp(enter);
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return standard_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return standard_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID id, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return standard_->GetIDsOfNames(id, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID id, LCID locale, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argument) override {
        return standard_->Invoke(member, id, locale, flags, parameters, result, exception,
                                 argument);
    }

    // IAccessible: the texts given, for the control itself.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (IsSelf(child) && !text_.name.empty())
            return Answer(text_.name, name);
        return standard_->get_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (IsSelf(child) && text_.value)
            return Answer(text_.value(), value);
        return standard_->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
        if (IsSelf(child) && !text_.description.empty())
            return Answer(text_.description, description);
        return standard_->get_accDescription(child, description);
    }

    // IAccessible: the standard object's.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return standard_->get_accParent(parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        return standard_->get_accChildCount(count);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return standard_->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        return standard_->get_accRole(child, role);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return standard_->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return standard_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        return standard_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return standard_->get_accKeyboardShortcut(child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        return standard_->get_accFocus(child);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return standard_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return standard_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return standard_->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override {
        return standard_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        return standard_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG left, LONG top, VARIANT* child) override {
        return standard_->accHitTest(left, top, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return standard_->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return standard_->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return standard_->put_accValue(child, value);
    }

private:
    LONG references_ = 1;
    IAccessible* standard_;
    IEnumVARIANT* children_ = nullptr;
    IOleWindow* window_ = nullptr;
    AccessibleText text_;
};

} // namespace

LRESULT AnswerGetObject(HWND control, WPARAM wParam, LPARAM lParam, const AccessibleText& text) {
    if (static_cast<LONG>(lParam) != OBJID_CLIENT)
        return 0;
    // oleacc.dll is not a KnownDLL: from System32 only, and only once a
    // screen reader asks.
    const HMODULE oleacc = SystemLibrary(L"oleacc.dll");
    const auto createStandard =
        SystemFunction<CreateStdAccessibleObjectFunction>(oleacc, "CreateStdAccessibleObject");
    const auto lresultFromObject =
        SystemFunction<LresultFromObjectFunction>(oleacc, "LresultFromObject");
    if (createStandard == nullptr || lresultFromObject == nullptr)
        return 0;
    IAccessible* standard = nullptr;
    if (FAILED(createStandard(control, OBJID_CLIENT, __uuidof(IAccessible),
                              reinterpret_cast<void**>(&standard))))
        return 0;
    auto* annotated = new AnnotatedAccessible(standard, text);
    const LRESULT answer =
        lresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(annotated));
    annotated->Release();
    // A failure is a COM error code (negative): the caller's default
    // procedure answers instead.
    return answer > 0 ? answer : 0;
}

} // namespace merovane
