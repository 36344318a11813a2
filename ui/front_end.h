#pragma once
// A user interface that runs the update dialog: the wxWidgets window or the text front end.

#include <memory>

class CUpdateManager;

class FrontEnd {
public:
    enum class DialogEnd {
        WorkerQuit,    // the worker posted WM_QUIT: the update is over
        ClosedByUser,  // the user closed the dialog while the worker was still running
    };

    virtual ~FrontEnd() = default;

    // Runs the update dialog modally: stores the dialog's window in the manager, starts the
    // worker, and shows the engine's messages until WM_QUIT or until the user closes it. A close
    // while the installation folder is being changed waits for the worker's WM_QUIT. The window
    // stays valid as long as the front end, for a worker that goes on after the dialog ended.
    virtual DialogEnd RunUpdateDialog(CUpdateManager& manager) = 0;
};

// The text front end: standard error shows the dialog; message boxes read standard input.
std::unique_ptr<FrontEnd> MakeTextFrontEnd();

// The wxWidgets front end; null when no display can be opened (or it was not built).
std::unique_ptr<FrontEnd> MakeGuiFrontEnd(int& argc, char** argv);
