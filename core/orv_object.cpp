#include "core/orv_object.h"

#include "core/manager_context.h"

OrvObject::OrvObject() {
    // During the manager's own construction this returns the object being built, whose context
    // is still empty; the manager wires its parts afterwards.
    const OrvObject& context = UpdateManagerContext();
    paths = context.paths;
    config = context.config;
    progress = context.progress;
}
