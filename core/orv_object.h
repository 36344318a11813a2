#pragma once
// The context that every task and loader shares with the update manager.

class PathStore;
class ServerConfig;
class ProgressCtrl;

class OrvObject {
public:
    // Copies the manager's three context pointers (building the manager on first use). Objects
    // built while the manager itself is being built copy its still-null pointers; the manager
    // wires them at the end of its construction.
    OrvObject();
    virtual ~OrvObject() = default;

    PathStore* paths = nullptr;
    ServerConfig* config = nullptr;
    ProgressCtrl* progress = nullptr;

protected:
    struct NoContext {};
    // The manager's own part: starts empty and asks nobody.
    explicit OrvObject(NoContext) {}
};
