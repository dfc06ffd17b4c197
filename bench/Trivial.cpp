// The trivial Wine program the start-up benchmark measures against: a GUI
// program that starts and ends.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    return 0;
}
