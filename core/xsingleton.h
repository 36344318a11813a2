#pragma once
// The one object of a type in the process, built on first use and kept until the process ends.

#include <new>

template <class T>
class xsingleton {
public:
    // Builds the object on the first call (on the main thread, before any other thread exists).
    // A call made while the object is being built returns the object under construction. The
    // object is never destroyed: a worker thread still running at process end never meets it
    // half-destroyed.
    static T& Instance() {
        // Both are constant-initialised, so no initialisation guard stands in the way of a call
        // made during the construction.
        static T* object = nullptr;
        alignas(T) static unsigned char storage[sizeof(T)];
        if (object == nullptr) {
            object = reinterpret_cast<T*>(storage);
            new (storage) T();
        }
        return *object;
    }
};
