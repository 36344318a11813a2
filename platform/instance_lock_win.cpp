// The single-instance lock as a named mutex: the name lives as long as a handle to it is open,
// and the system closes the handles of a process that ends, also when it is killed.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/instance_lock.h"
#include "platform/text_codepage.h"

namespace platform {
namespace {

// Mutex names are limited to MAX_PATH characters; this leaves room for the hash.
constexpr std::size_t kMaxNameUnits = 200;

std::uint64_t Fnv1a64(std::u16string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char16_t unit : text) {
        for (const unsigned char byte :
             {static_cast<unsigned char>(unit & 0xFF), static_cast<unsigned char>(unit >> 8)}) {
            hash ^= byte;
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

// The system's name for a lock name. A name the system takes as it is stays as it is, so that
// every program asking for that name meets the same mutex. The system refuses "\" (it separates
// a namespace such as "Global\") and names that are too long, and takes an empty name for an
// unnamed mutex: such a name keeps its beginning ("\" turned into "/") and gets a hash of the
// whole, which stays the same from run to run and keeps it apart from every plain name.
std::u16string SystemNameFor(std::u16string_view name) {
    if (!name.empty() && name.size() <= kMaxNameUnits && name.find(u'\\') == name.npos) {
        return std::u16string(name);
    }
    std::size_t keep = std::min(name.size(), kMaxNameUnits);
    // Not in the middle of a surrogate pair.
    if (keep > 0 && keep < name.size() && IsLowSurrogate(name[keep])) {
        --keep;
    }
    std::u16string result(name.substr(0, keep));
    for (char16_t& unit : result) {
        if (unit == u'\\') {
            unit = u'/';
        }
    }
    char hash[19];
    std::snprintf(hash, sizeof(hash), "#%016llx", static_cast<unsigned long long>(Fnv1a64(name)));
    result.append(hash, hash + 17);
    return result;
}

}  // namespace

NamedLock::NamedLock(std::u16string_view name) {
    const std::u16string systemName = SystemNameFor(name);
    // Not inheritable: a program started later does not hold the lock on.
    const HANDLE mutex =
        CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t*>(systemName.c_str()));
    const DWORD error = GetLastError();
    if (mutex == nullptr) {
        // A mutex of this name made by an elevated process of this user (another updater run
        // as administrator) exists but cannot be opened from here.
        state_ = error == ERROR_ACCESS_DENIED ? State::AlreadyExists : State::Failed;
        return;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        // Another holder has it; keeping this handle would keep the name alive after it ends.
        CloseHandle(mutex);
        state_ = State::AlreadyExists;
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(mutex);
    state_ = State::Acquired;
}

NamedLock::~NamedLock() {
    Release();
}

void NamedLock::Release() {
    if (handle_ != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
        handle_ = -1;
    }
}

}  // namespace platform
