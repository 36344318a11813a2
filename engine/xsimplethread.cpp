#include "engine/xsimplethread.h"

namespace {

unsigned ThreadEntry(void* object) {
    if (object != nullptr) {
        static_cast<xsimplethread*>(object)->ThreadMain();
    }
    return 0;
}

}  // namespace

void xsimplethread::Start() {
    if (threadId != 0 || thread.HasThread()) {
        return;
    }
    if (thread.Start(&ThreadEntry, this, threadId)) {
        started = 1;
    }
}

void xsimplethread::Join() {
    if (thread.HasThread()) {
        thread.Join();
    }
}

void xsimplethread::Detach() {
    if (thread.HasThread()) {
        thread.Detach();
    }
}
