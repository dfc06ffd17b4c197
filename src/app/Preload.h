// What the wizard and the installation will need of the system, loaded on a
// thread of its own while the main thread reads the package: the fonts the
// dialogs are drawn with, the common controls, COM, and the shell's folders
// and links. Each costs tens of milliseconds the first time a process asks
// (under Wine more so), and nothing of it depends on the package; done
// side by side, the welcome page comes sooner. The main thread still makes
// every call it needs itself: by then they are quick.
//
// Every signature check acquires and releases a crypto context of its own,
// and the provider's library would be loaded and unloaded each time: a
// context held here for the whole run keeps it loaded.
#pragma once

#include <windows.h>

#include "base/Handle.h"
#include "package/CryptoHandles.h"

class CPreload {
public:
    CPreload() = default;
    // Waits for the thread: nothing it loads is released while it runs.
    ~CPreload() { Wait(); }
    CPreload(const CPreload&) = delete;
    CPreload& operator=(const CPreload&) = delete;

    // Starts the thread; nothing happens when it cannot start.
    void Start();
    void Wait();

private:
    static DWORD WINAPI ThreadProc(LPVOID);

    CHandle m_hThread;
    CCryptProvider m_crypto; // acquired by the thread, released after it ended
};
