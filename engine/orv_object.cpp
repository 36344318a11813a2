#include "engine/orv_object.h"

#include "engine/update_manager.h"

OrvObject::OrvObject() {
    // During the manager's own construction this returns the object being built, whose context
    // is still empty; the manager wires its parts afterwards.
    OrvObject& context = CUpdateManager::Instance();
    paths = context.paths;
    config = context.config;
    progress = context.progress;
}
