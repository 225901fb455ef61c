// What a screen reader reads of the Win32 window through Active
// Accessibility, with the demo's two dividers attached: the window opens
// MV2B-00988, which divides by 4.
#include "device/simulated/demo_devices.h"
#include "support/window_scenario.h"
#include "window/win32/win32_form.h"

#include <oleacc.h>
#include <thread>

namespace merovane::test {
namespace {

using ScreenReader = WindowScenario;
using enum Control;

// A control's client object as a screen reader gets it, and its texts.
class Read {
public:
    explicit Read(::HWND window) {
        AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&object_));
    }
    ~Read() {
        if (object_ != nullptr)
            object_->Release();
    }
    Read(const Read&) = delete;
    Read& operator=(const Read&) = delete;

    std::wstring Name() const { return Text(&IAccessible::get_accName); }
    // Whether every interface the object hands out has the same IUnknown.
    bool OneObject() const {
        const IUnknown* identity = IdentityThrough(__uuidof(IAccessible));
        return identity != nullptr && IdentityThrough(__uuidof(IEnumVARIANT)) == identity &&
               IdentityThrough(__uuidof(IOleWindow)) == identity;
    }
    std::wstring Value() const { return Text(&IAccessible::get_accValue); }
    std::wstring Description() const { return Text(&IAccessible::get_accDescription); }

private:
    // The IUnknown reached through interface id, to compare only.
    const IUnknown* IdentityThrough(REFIID id) const {
        IUnknown* through = nullptr;
        IUnknown* identity = nullptr;
        if (object_ != nullptr &&
            SUCCEEDED(object_->QueryInterface(id, reinterpret_cast<void**>(&through)))) {
            through->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&identity));
            through->Release();
            identity->Release(); // the object itself still holds it
        }
        return identity;
    }

    std::wstring Text(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*)) const {
        if (object_ == nullptr)
            return L"(no object)";
        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR text = nullptr;
        if ((object_->*get)(self, &text) != S_OK || text == nullptr)
            return L"(none)";
        std::wstring read(text, SysStringLen(text));
        SysFreeString(text);
        return read;
    }

    IAccessible* object_ = nullptr;
};

TEST_F(ScreenReader, ReadsListsByTheirCaptionsValuesAsTextAndWhatTheHiddenButtonSends) {
    PlugDemoDevices(host);
    Start();
    const Win32Form& form = dynamic_cast<Win32Form&>(Window().View());

    EXPECT_EQ(Read(form.Handle(SerNo)).Name(), L"Serial Number");
    EXPECT_EQ(Read(form.Handle(SerNo)).Value(), L"MV2B-00988");
    EXPECT_EQ(Read(form.Handle(Enc1)).Name(), L"Output signal");
    EXPECT_EQ(Read(form.Handle(Enc1)).Value(), L"Divide By 4");

    EXPECT_EQ(Read(form.Handle(lblProduct)).Name(), L" Clock Divider CD-4");
    EXPECT_EQ(Read(form.Handle(lblManuf)).Name(), L" Merovane Instruments");
    EXPECT_EQ(Read(form.Handle(lblVersion)).Name(), L" 2.10");
    EXPECT_EQ(Read(form.Handle(Label5)).Name(), L"Product name");

    EXPECT_EQ(Read(form.Handle(Command1)).Name(), L"Command1");
    EXPECT_EQ(Read(form.Handle(Command1)).Description(), L"Sends the divider's auxiliary command");
    EXPECT_TRUE(Read(form.Handle(SerNo)).OneObject());
}

TEST(ScreenReaderEarly, ReadsAWindowNeverActivatedOnAThreadWithoutCom) {
    std::wstring name;
    HRESULT afterwards = E_FAIL;
    std::thread([&] {
        {
            const Win32Form form(MainForm);
            name = Read(form.Handle(SerNo)).Name();
        }
        // The window's thread left COM with the window.
        afterwards = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CoUninitialize();
    }).join();
    EXPECT_EQ(name, L"Serial Number");
    EXPECT_EQ(afterwards, S_OK);
}

} // namespace
} // namespace merovane::test
