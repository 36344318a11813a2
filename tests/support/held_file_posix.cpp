#include "tests/support/held_file.h"

namespace testsupport {

// Nothing to hold: a POSIX system replaces and deletes files that others have open.
HeldFile::HeldFile(const std::filesystem::path&) {}

HeldFile::~HeldFile() = default;

}  // namespace testsupport
