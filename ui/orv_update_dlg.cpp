#include "ui/orv_update_dlg.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>

#include <wx/app.h>
#include <wx/gauge.h>
#include <wx/hyperlink.h>
#include <wx/menu.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "engine/update_manager.h"
#include "platform/interrupt.h"
#include "ui/about_dlg.h"
#include "ui/gui_resources.h"
#include "ui/wx_text.h"

// The engine's window: posts from the worker wake the main thread, which hands the messages to
// the dialog that is open (or drops them when it is gone).
struct COrvUpdateDlg::Channel {
    platform::MessageTarget target;
    // One pending wake-up is enough however many messages arrive before it runs.
    std::atomic<bool> wakeUpPending{false};
    COrvUpdateDlg* dialog = nullptr;  // main thread only

    void WakeUp() {
        if (wakeUpPending.exchange(true) || wxTheApp == nullptr) {
            return;
        }
        wxTheApp->CallAfter([this] {
            wakeUpPending = false;
            if (dialog != nullptr) {
                dialog->TakeMessages();
                return;
            }
            platform::Message dropped;
            while (target.TryTake(dropped)) {
            }
        });
    }
};

namespace {

const char16_t kAboutItem[] = u"关于 OrvUpdate(&A)...";

}  // namespace

COrvUpdateDlg::COrvUpdateDlg(CUpdateManager& manager)
    : wxDialog(nullptr, wxID_ANY, ToWx(kDialogCaption), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX | wxSTAY_ON_TOP |
                   wxDIALOG_NO_PARENT),
      openBrowser([](const wxString& address) { return wxLaunchDefaultBrowser(address); }),
      manager_(manager),
      channel_(new Channel) {
    channel_->dialog = this;
    Channel* channel = channel_;
    channel_->target.SetWakeUp([channel](const platform::Message&) { channel->WakeUp(); });

    SetIcon(ProgramIcon());
    SetFont(DialogFont());
    BuildControls(manager);
    // Placed with its final size before it is shown: centred on the work area of its monitor.
    CentreOnScreen();

    Bind(wxEVT_INIT_DIALOG, &COrvUpdateDlg::OnInit, this);
    Bind(wxEVT_CHAR_HOOK, &COrvUpdateDlg::OnCharHook, this);
    Bind(wxEVT_CLOSE_WINDOW, &COrvUpdateDlg::OnClose, this);
    Bind(wxEVT_CONTEXT_MENU, &COrvUpdateDlg::OnContextMenu, this);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { ShowAboutBox(); }, kAboutCommand);
    Bind(wxEVT_HYPERLINK, &COrvUpdateDlg::OnLink, this, kLinkId);

    interruptPoll_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
        if (platform::InterruptRequested()) {
            RequestClose();
        }
    });
    interruptPoll_.Start(100);
}

COrvUpdateDlg::~COrvUpdateDlg() {
    // The channel stays: the worker may still post to it.
    channel_->dialog = nullptr;
}

platform::MessageTarget& COrvUpdateDlg::Window() {
    return channel_->target;
}

void COrvUpdateDlg::BuildControls(CUpdateManager& manager) {
    SetSize(475, 205);

    auto* picture =
        new wxStaticBitmap(this, kPictureId, PictureBitmap(), wxPoint(410, 14), wxSize(40, 40));
    picture->Show();

    // Labels take their texts literally: "&" in a version or file name is no mnemonic.
    auto* headline = new wxStaticText(this, kHeadlineId, wxString(), wxPoint(24, 20),
                                      wxSize(500, 20), wxST_NO_AUTORESIZE);
    headline->SetFont(HeadlineFont());
    headline->SetLabelText(ToWx(HeadlineText(manager.GetServerVersionText())));
    // The 20-pixel line was drawn for one screen font: an 18-point face with a taller line
    // would lose the lower part of its characters, so the line grows to the font's height.
    headline->SetSize(24, 20, 500, std::max(20, headline->GetBestSize().y));

    // The update notes are filled but stay hidden: no message shows them.
    auto* notesCaption = new wxStaticText(this, kNotesCaptionId, wxString(), wxPoint(70, 60),
                                          wxSize(500, 20), wxST_NO_AUTORESIZE);
    notesCaption->SetLabelText(ToWx(kNotesCaption));
    notesCaption->Hide();
    auto* notesBox =
        new wxTextCtrl(this, kNotesBoxId, ToWx(manager.GetServerNoticeText()), wxPoint(71, 81),
                       wxSize(498, 118), wxTE_MULTILINE | wxTE_READONLY | wxVSCROLL);
    notesBox->Hide();
    auto* notesFrame =
        new wxStaticBox(this, kNotesFrameId, wxString(), wxPoint(70, 70), wxSize(500, 130));
    notesFrame->Hide();

    stageLine_ = new wxStaticText(this, kStageLineId, wxString(), wxPoint(25, 55), wxSize(200, 20),
                                  wxST_NO_AUTORESIZE);
    stageLine_->SetLabelText(ToWx(model_.stageLine));

    progress_ = new wxGauge(this, kProgressId, static_cast<int>(model_.rangeMax), wxPoint(25, 78),
                            wxSize(420, 20), wxGA_HORIZONTAL | wxGA_SMOOTH);

    statusLine_ = new wxStaticText(this, kStatusLineId, wxString(), wxPoint(27, 105),
                                   wxSize(420, 20), wxST_NO_AUTORESIZE);

    auto* hint = new wxStaticText(this, kHintId, wxString(), wxPoint(27, 140), wxSize(240, 20),
                                  wxST_NO_AUTORESIZE);
    hint->SetLabelText(ToWx(kHintText));

    const wxString homepage = ToWx(manager.GetHomepageText());
    link_ = new wxGenericHyperlinkCtrl(this, kLinkId, ToWx(LinkText(manager.GetHomepageText())),
                                       homepage, wxPoint(265, 140), wxSize(180, 19),
                                       wxHL_ALIGN_LEFT | wxBORDER_NONE);
    // The control would take its text for an empty address; the address stays what it is.
    link_->SetURL(homepage);
    link_->SetToolTip(ToWx(kLinkTooltip));
}

void COrvUpdateDlg::OnInit(wxInitDialogEvent& event) {
    event.Skip();
    // The window first, so that none of the worker's messages is lost.
    manager_.window = &channel_->target;
    manager_.Start();
}

void COrvUpdateDlg::TakeMessages() {
    bool changed = false;
    platform::Message message;
    while (!model_.quit && channel_->target.TryTake(message)) {
        changed = model_.Apply(message) || changed;
    }
    if (changed) {
        ShowModel();
    }
    if (!model_.quit || ending_) {
        return;
    }
    if (aboutBox_ != nullptr) {
        // The About box's modal run ends first, then this one (after ShowAboutBox returns).
        quitWhenAboutEnds_ = true;
        aboutBox_->EndModal(wxID_OK);
        return;
    }
    End(kEndedByWorker);
}

void COrvUpdateDlg::ShowModel() {
    const wxString stage = ToWx(model_.stageLine);
    if (stageLine_->GetLabelText() != stage) {
        stageLine_->SetLabelText(stage);
    }
    const wxString status = ToWx(model_.statusLine);
    if (statusLine_->GetLabelText() != status) {
        statusLine_->SetLabelText(status);
    }

    // The bar takes an int range: a 32-bit total beyond it is shown in coarser steps.
    unsigned shift = 0;
    while ((model_.rangeMax >> shift) > static_cast<std::uint32_t>(INT_MAX)) {
        ++shift;
    }
    const int range = static_cast<int>(model_.rangeMax >> shift);
    const int position = static_cast<int>(std::min(model_.position, model_.rangeMax) >> shift);
    if (progress_->GetRange() != range || gaugeShift_ != shift) {
        gaugeShift_ = shift;
        if (progress_->GetValue() > range) {
            progress_->SetValue(0);
        }
        progress_->SetRange(range);
    }
    if (progress_->GetValue() != position) {
        progress_->SetValue(position);
    }
}

void COrvUpdateDlg::OnCharHook(wxKeyEvent& event) {
    if (event.GetKeyCode() == WXK_ESCAPE) {
        RequestClose();
        return;
    }
    event.Skip();
}

void COrvUpdateDlg::OnClose(wxCloseEvent& event) {
    RequestClose();
    if (!ending_ && event.CanVeto()) {
        event.Veto();
    }
}

void COrvUpdateDlg::RequestClose() {
    // Decide on what the worker has reported so far, not on what was shown last.
    TakeMessages();
    if (ending_ || model_.MustWaitForWorker()) {
        // While the installation folder is being changed the dialog stays until WM_QUIT, so
        // that no file is left half-copied.
        return;
    }
    End(wxID_CANCEL);
}

void COrvUpdateDlg::End(int result) {
    ending_ = true;
    if (IsModal()) {
        EndModal(result);
    } else {
        SetReturnCode(result);
        Hide();
    }
}

void COrvUpdateDlg::OnContextMenu(wxContextMenuEvent&) {
    // The window manager owns the system menu, so its About item is offered here.
    wxMenu menu;
    menu.Append(kAboutCommand, ToWx(kAboutItem));
    PopupMenu(&menu);
}

void COrvUpdateDlg::ShowAboutBox() {
    if (aboutBox_ != nullptr || ending_) {
        return;
    }
    CAboutDlg about(this);
    aboutBox_ = &about;
    about.ShowModal();
    aboutBox_ = nullptr;
    if (quitWhenAboutEnds_) {
        End(kEndedByWorker);
    }
}

void COrvUpdateDlg::OnLink(wxHyperlinkEvent& event) {
    const wxString address = ToWx(BrowserAddress(FromWx(event.GetURL())));
    if (!address.empty() && openBrowser) {
        openBrowser(address);
    }
}
