#include "core/task.h"

bool XTask::Run() {
    if (done) {
        return true;
    }
    OnBefore();
    done = Execute() ? 1 : 0;
    if (done) {
        OnSucceeded();
        OnAfter();
        return true;
    }
    if (!lastAttempt) {
        canRetry = OnFailed() ? 1 : 0;
    }
    OnAfter();
    return false;
}

void OrvTaskSetTask::Prepare() {
    for (XTask* child : children) {
        child->Prepare();
    }
}

bool OrvTaskSetTask::Run() {
    // A stage prepares itself each time it is run, also when it is already done.
    Prepare();
    return XTask::Run();
}

bool OrvTaskSetTask::Execute() {
    for (std::size_t index = 0; index < children.size(); ++index) {
        BeforeChild(index);
        XTask* child = children[index];
        for (std::int32_t attempt = 0; attempt < attempts; ++attempt) {
            if (attempt == attempts - 1) {
                child->MarkLastAttempt();
            }
            if (child->Run()) {
                break;
            }
            if (!child->CanRetry()) {
                return false;
            }
        }
        if (!child->IsDone()) {
            return false;
        }
    }
    return true;
}
