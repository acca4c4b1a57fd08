#pragma once

// Start-up of the desktop application: the single-instance guard, DPI awareness where the platform offers
// it, high-DPI scaling, the application object, the main window with an optional firmware file from the
// command line, and the event loop.
class DesktopApplication {
public:
    DesktopApplication() = delete;

    // The process's exit code: the event loop's result, or 0 when another instance runs.
    static int Run(int argc, char** argv);

    // Names that tie the window to the installed desktop entry, so that docks and task bars group it under
    // its launcher: the entry's file name without ".desktop" (the Wayland app_id) and the window class (the
    // class part of the X11 WM_CLASS, the entry's StartupWMClass).
    static constexpr const char* kDesktopFileName = "tarnix-programmer";
    static constexpr const char* kWindowClass = "TarnixProgrammer";

private:
    // Asks the system for per-monitor DPI awareness through the export looked up at run time; a system
    // without it is left as it is.
    static void RequestDpiAwareness();
};
