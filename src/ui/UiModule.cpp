#include "ui/UiModule.h"

#include "ui/HyperLink.h"

bool InitUiModule(HINSTANCE instance)
{
    return CHyperLinkM::RegisterWindowClass(instance);
}

void TermUiModule(HINSTANCE instance)
{
    CHyperLinkM::UnregisterWindowClass(instance);
}
