#pragma once
// What the layers below the engine reach of the update manager: the context that every task and
// loader copies, and the dialog's window that every sender adopts. The manager itself lives in
// the engine, which defines UpdateManagerContext; nothing below the engine includes it.

#include "core/orv_object.h"
#include "core/progress_ctrl.h"

class ManagerContext : public MessageSender, public OrvObject {
protected:
    // The manager wires its own parts once they are built.
    ManagerContext() : OrvObject(NoContext{}) {}
};

// The update manager, built on the first call (on the main thread, before any other thread).
ManagerContext& UpdateManagerContext();
