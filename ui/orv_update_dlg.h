#pragma once
// The update dialog: the released version, the stage of the update with the download's
// percentage and progress bar, the file being downloaded, and a link to the product's web site.

#include <functional>

#include <wx/dialog.h>
#include <wx/string.h>
#include <wx/timer.h>

#include "platform/message_target.h"
#include "ui/dialog_model.h"

class CAboutDlg;
class CUpdateManager;
class wxGauge;
class wxGenericHyperlinkCtrl;
class wxHyperlinkEvent;
class wxStaticText;

class COrvUpdateDlg : public wxDialog {
public:
    // Control ids, those of the dialog's resource template.
    enum ControlId {
        kProgressId = 1000,
        kHeadlineId = 1001,
        kNotesCaptionId = 1002,
        kNotesBoxId = 1003,
        kStageLineId = 1004,
        kPictureId = 1005,
        kNotesFrameId = 1006,
        kHintId = 1007,
        kStatusLineId = 1008,
        kLinkId = 1010,
    };
    // The About item's command, in the context menu that stands in for the system menu.
    static constexpr int kAboutCommand = 0x0010;
    // ShowModal's result when the worker's WM_QUIT ended the dialog (a user's close gives
    // wxID_CANCEL).
    static constexpr int kEndedByWorker = wxID_HIGHEST + 1;

    // Builds the dialog with the manager's version, notes and homepage. Showing it stores its
    // window in the manager and then starts the worker.
    explicit COrvUpdateDlg(CUpdateManager& manager);
    ~COrvUpdateDlg() override;

    // The window that the engine posts to. It is never destroyed: a worker that outlives the
    // dialog (the user closed it during a download) still posts to it.
    platform::MessageTarget& Window();

    // What the dialog shows, after the messages handled so far.
    const DialogModel& Model() const { return model_; }
    // The About box while it is open, else null.
    CAboutDlg* AboutBox() const { return aboutBox_; }
    // Runs the About box modally; the dialog keeps handling the engine's messages meanwhile.
    void ShowAboutBox();

    // Opens an address in the user's browser; true on success.
    std::function<bool(const wxString&)> openBrowser;

private:
    struct Channel;

    // Takes every message posted so far and shows the result; ends the dialog at WM_QUIT.
    // Called on the main thread after posts.
    void TakeMessages();

    void BuildControls(CUpdateManager& manager);
    void OnInit(wxInitDialogEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnContextMenu(wxContextMenuEvent& event);
    void OnLink(wxHyperlinkEvent& event);
    // A close by the user: at once, or at WM_QUIT while the installation folder is changed.
    void RequestClose();
    void End(int result);
    void ShowModel();

    CUpdateManager& manager_;
    Channel* channel_;
    DialogModel model_;
    CAboutDlg* aboutBox_ = nullptr;
    bool ending_ = false;
    bool quitWhenAboutEnds_ = false;
    // Ctrl+C or SIGTERM in the terminal that started the program closes the dialog like Esc.
    wxTimer interruptPoll_;

    wxGauge* progress_ = nullptr;
    wxStaticText* stageLine_ = nullptr;
    wxStaticText* statusLine_ = nullptr;
    wxGenericHyperlinkCtrl* link_ = nullptr;
    unsigned gaugeShift_ = 0;
};
