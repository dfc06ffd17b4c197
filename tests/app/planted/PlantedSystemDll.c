/* Stands for a system DLL planted next to an installer in a Downloads
   folder. It exports the functions setup.exe could want of crypt32 and the
   common controls, so that it satisfies an import table, and leaves
   "<its name>.planted" beside itself when it is loaded. */
#define WIN32_LEAN_AND_MEAN
#define NOCRYPT
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH + 16];
        DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            lstrcatW(path, L".planted");
            HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            if (marker != INVALID_HANDLE_VALUE)
                CloseHandle(marker);
        }
    }
    return TRUE;
}

#define PLANTED(name) __declspec(dllexport) int name(void) { return 0; }
PLANTED(CertCreateCertificateContext)
PLANTED(CertFreeCertificateContext)
PLANTED(CryptImportPublicKeyInfo)
PLANTED(CreatePropertySheetPageW)
PLANTED(DestroyPropertySheetPage)
PLANTED(ImageList_AddMasked)
PLANTED(ImageList_Create)
PLANTED(ImageList_SetBkColor)
PLANTED(InitCommonControlsEx)
PLANTED(PropertySheetW)
