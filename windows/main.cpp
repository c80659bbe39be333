// The program's entry on Windows: the window system and the services on
// Win32, then the program.
#include "app/program.h"
#include "runtime/event_handler.h"
#include "windows/win32_services.h"
#include "windows/win32_window.h"

#include <objbase.h>
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
    // The program reads no command line. The thread is a single-threaded
    // apartment, as the accessibility annotation and the pictures' decoder
    // expect.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 0;
    {
        quorvex::windows::Win32Services services;
        try {
            quorvex::windows::Win32WindowSystem window_system(instance, show_command);
            status = quorvex::app::Main(window_system, services);
        } catch (const quorvex::runtime::RuntimeError& error) {
            // A failure outside any handler (the window could not be made):
            // reported as the runtime reports any other, and the program ends.
            quorvex::runtime::ReportRuntimeError(services, error);
            status = 1;
        }
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return status;
}
