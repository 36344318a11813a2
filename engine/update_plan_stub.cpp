// Placeholder bodies until the plan builder is written.
#include "engine/update_plan.h"
void OrvDownloadTask::Prepare() {}
void OrvDownloadTask::OnSucceeded() {}
bool OrvDownloadTask::OnFailed() { return false; }
void OrvUncompressTask::Prepare() {}
bool OrvUncompressTask::OnFailed() { return false; }
void OrvLocalsetTask::Prepare() {}
bool OrvLocalsetTask::OnFailed() { return false; }
void OrvFinishTask::Prepare() {}
OrvUpdateTask::OrvUpdateTask() {}
std::string ReplaceTargetName(const std::string& p) { return p; }
std::unique_ptr<OrvUpdateTask> BuildUpdatePlan(LocalFileList&, ServerFileList&, TaskManager&) { return std::make_unique<OrvUpdateTask>(); }
