// The form's title-bar and taskbar icons, drawn from the program's icon at
// the sizes Windows shows them at the form's dpi, so that none is scaled.
#pragma once

#include <windows.h>

namespace merovane {

class FormIcons {
public:
    FormIcons() = default;
    ~FormIcons();
    FormIcons(const FormIcons&) = delete;
    FormIcons& operator=(const FormIcons&) = delete;

    // Gives window the icon's images of SM_CXICON and SM_CXSMICON at dpi; an
    // image the program lacks leaves the window its current one.
    void Apply(HWND window, int dpi);

private:
    HICON big_ = nullptr;
    HICON small_ = nullptr;
};

} // namespace merovane
