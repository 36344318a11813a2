// The update manager's context for programs that test the layers below the engine and so do not
// link the manager: it has no paths, configuration or progress of its own (a test wires what its
// objects use), and a window that a test may set.

#include "core/manager_context.h"

namespace {

class ContextWithoutManager : public ManagerContext {};

}  // namespace

ManagerContext& UpdateManagerContext() {
    // Never destroyed, as the manager is not: a thread still running at exit never meets it gone.
    static ContextWithoutManager* const context = new ContextWithoutManager;
    return *context;
}
