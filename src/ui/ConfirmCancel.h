// The cancel prompt the pages share: "Do you really want to cancel
// installation?" with Yes and No.
#pragma once

#include <windows.h>

// The PSN_QUERYCANCEL answer: -1 (stay) after No, 0 (cancel) otherwise.
LRESULT ConfirmCancel();
