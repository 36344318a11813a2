#pragma once
// The updater's start-up: one run from the single-instance check to the start of the browser.

#include "ui/front_end.h"

class COrvUpdateApp {
public:
    // The process's exit status.
    enum ExitStatus {
        kBrowserStarted = 0,     // up to date, or the update finished: the browser was started
        kBrowserNotStarted = 1,  // another updater runs, the server failed, or the update failed
        kClosedByUser = 2,       // the user closed the dialog before the update finished
    };

    explicit COrvUpdateApp(FrontEnd& frontEnd) : frontEnd_(frontEnd) {}

    // The whole start-up sequence; always false (there is no message loop after it).
    bool InitInstance();

    int exitStatus = kBrowserNotStarted;

private:
    FrontEnd& frontEnd_;
};
