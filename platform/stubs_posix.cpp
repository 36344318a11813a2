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
std::u16string AnsiToUtf16(std::string_view) { return {}; }
std::string Utf16ToAnsi(std::u16string_view) { return {}; }
std::string Utf16ToUtf8(std::u16string_view) { return {}; }
std::u16string Utf8ToUtf16(std::string_view) { return {}; }
std::string AnsiToUtf8(std::string_view) { return {}; }
std::string Utf8ToAnsi(std::string_view) { return {}; }
std::string SystemPath(std::string_view) { return {}; }
std::string SystemPath(std::u16string_view) { return {}; }
PathKind KindOf(std::string_view) { return PathKind::Missing; }
PathKind KindOf(std::u16string_view) { return PathKind::Missing; }
CreateFolderResult CreateOneFolder(std::u16string_view) { return CreateFolderResult::Failed; }
DeleteResult DeleteAt(std::u16string_view, bool) { return DeleteResult::Failed; }
bool CopyWholeFile(std::string_view, std::string_view) { return false; }
std::optional<std::uint32_t> FileSize32(std::string_view) { return {}; }
File::File(File&&) noexcept {}
File& File::operator=(File&&) noexcept { return *this; }
File::~File() {}
bool File::Open(std::string_view, Mode) { return false; }
long File::Read(void*, std::size_t) { return -1; }
long File::Write(const void*, std::size_t) { return -1; }
std::optional<std::uint64_t> File::Size() const { return {}; }
bool File::Truncate() { return false; }
void File::Close() {}
bool CreateUniqueFolder(std::u16string_view, std::u16string_view, std::u16string&) { return false; }
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
