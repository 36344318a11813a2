#include "tests/support/process_settings.h"
#include "platform/environment.h"

namespace testsupport {

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value)
    : name_(name), saved_(platform::GetEnvironment(name)) {
    SetEnvironment(name, value);
}

ScopedEnvironment::~ScopedEnvironment() {
    SetEnvironment(name_.c_str(), saved_ ? saved_->c_str() : nullptr);
}

}  // namespace testsupport
