#include "dialog/fixrun.h"

#include <windows.h>

#include "dialog/frmmain.h"
#include "dialog/lang.h"
#include "dialog/product.h"

void cmdOk_Click() {
    EnableOkButton(false);
    if (!MainDialogUnloaded())
        MessageBoxW(MainDialogWindow(), reinterpret_cast<const wchar_t*>(DoneText.c_str()),
                    reinterpret_cast<const wchar_t*>(DZD_PRODUCT_NAME_W), MB_OK);
    EnableOkButton(true);
}
