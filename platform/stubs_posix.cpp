// Placeholder bodies until the platform layer is written.
#include "platform/console.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/instance_lock.h"
#include "platform/interrupt.h"
#include "platform/message_box.h"
#include "platform/message_target.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text_codepage.h"
#include "platform/thread.h"
#include <cstdlib>
#include <thread>
namespace platform {
bool GetExecutablePath(std::u16string&) { return false; }
bool GetTemporaryFolder(std::u16string&) { return false; }
std::u16string CanonicalizePath(std::u16string_view p) { return std::u16string(p); }
std::optional<std::string> GetEnvironment(const char*) { return {}; }
void SetEnvironment(const char*, const char*) {}
bool StartProgram(std::string_view) { return false; }
void ExitProcessNow(int status) { std::_Exit(status); }
NamedLock::NamedLock(std::u16string_view) {}
NamedLock::~NamedLock() {}
void NamedLock::Release() {}
struct NativeThread::Impl { std::thread thread; };
NativeThread::NativeThread() : impl_(new Impl) {}
NativeThread::~NativeThread() {}
bool NativeThread::Start(Entry, void*, std::uint32_t&) { return false; }
bool NativeThread::HasThread() const { return false; }
void NativeThread::Join() {}
void NativeThread::Detach() {}
void SleepMilliseconds(unsigned) {}
void MessageTarget::Post(Message) {}
Message MessageTarget::Wait() { return {}; }
bool MessageTarget::WaitFor(Message&, std::chrono::milliseconds) { return false; }
bool MessageTarget::TryTake(Message&) { return false; }
void MessageTarget::SetWakeUp(std::function<void()>) {}
bool PostMessageTo(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t, std::u16string) { return false; }
MessageBoxPresenter& TextMessageBoxPresenter() { static struct P : MessageBoxPresenter { bool Present(const std::u16string&, const std::u16string&, bool) override { return false; } } p; return p; }
void SetMessageBoxPresenter(MessageBoxPresenter*) {}
void ShowMessageBox(const std::u16string&, const std::u16string&) {}
bool AskOkCancel(const std::u16string&, const std::u16string&) { return false; }
void CatchInterrupts() {}
bool InterruptRequested() { return false; }
bool StandardErrorIsTerminal() { return false; }
void WriteStandardError(std::string_view) {}
std::optional<std::string> ReadStandardInputLine() { return {}; }
}  // namespace platform
