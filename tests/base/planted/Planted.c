/* A DLL for the search-order test: it stands for one planted next to the installer. */
__declspec(dllexport) int KxPlanted(void)
{
    return 42;
}
