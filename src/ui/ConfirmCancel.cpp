#include "ui/ConfirmCancel.h"

#include "res/TextIds.h"
#include "ui/WindowHelpers.h"

LRESULT ConfirmCancel()
{
    return ShowTextBox(GetActiveWindow(), IDS_CONFIRM_CANCEL, MB_YESNO | MB_ICONQUESTION) == IDNO ? -1 : 0;
}
