#pragma once
// The one object that owns the state of an update, and the update's worker thread.

#include <atomic>
#include <memory>
#include <string>

#include "config/file_dz.h"
#include "config/file_list.h"
#include "config/path_store.h"
#include "config/server_config.h"
#include "core/manager_context.h"
#include "core/progress_ctrl.h"
#include "core/xsimplethread.h"
#include "core/xsingleton.h"
#include "engine/update_plan.h"
#include "platform/digest.h"

// Carries the manager's context into the plan builder.
class TaskManager : public OrvObject {};

class CUpdateManager : public xsimplethread,
                       public ManagerContext,
                       public xsingleton<CUpdateManager> {
public:
    CUpdateManager();

    // The worker thread's body: the update, then WM_QUIT to the dialog, whatever happened. An
    // exception never ends the update silently: it is told as ReportUnexpectedFailure says.
    void ThreadMain() override;
    // Shows the failure message of the stage that was running, or the server-list failure
    // message when there is no plan yet.
    void ReportUnexpectedFailure();
    // The update sequence; true when every stage succeeded.
    bool Update();
    // Without a release key, true. With one, whether the server's "release.sig" is the key's
    // signature of the notice and the list as fetched and every entry names its "sha256"; the
    // files are then checked by it (serverConfig.signedRelease).
    bool IsReleaseAuthentic();
    // Whether the work folders hold files of the release that the server offers now.
    bool HasResumableWork();
    // Whether the installed version sorts before the server's (as byte strings).
    bool IsUpdateNeeded();
    // Starts the browser when the update finished or force is set; true when it started.
    bool LaunchBrowser(bool force);

    std::u16string GetServerVersionText();
    std::u16string GetServerNoticeText();
    std::u16string GetHomepageText();

    bool IsFinished() const { return finished.load(); }

    PathStore pathStore;
    ServerConfig serverConfig;
    ProgressCtrl progressCtrl;
    ServerFileDZ serverFileDZ;
    ServerFileList serverFileList;
    // The publisher's public key, fixed when the program is built; empty when releases are
    // taken unsigned.
    platform::Bytes releasePublicKey;
    TaskManager* taskManager = nullptr;
    // The plan of this run, once it is built; it lives as long as the manager.
    std::unique_ptr<OrvUpdateTask> plan;
    // Set by the worker before it posts WM_QUIT; read by the main thread after the dialog ended.
    std::atomic<bool> finished{false};
};
