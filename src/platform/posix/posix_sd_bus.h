// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tavrel::platform::posix {

// The part of libsystemd's sd-bus this program uses, loaded with dlopen("libsystemd.so.0") the
// first time it is asked for. Linking libsystemd would load it and its libraries into every
// start of the runner, which sends a message only when a run needs telling; no development
// package is needed either, as the few declarations below are those of sd-bus's stable ABI.
struct SdBus;
struct SdBusMessage;
struct SdBusSlot;
struct SdBusError
{
    const char* name = nullptr;
    const char* message = nullptr;
    int needFree = 0;
};
using SdBusHandler = int (*)(SdBusMessage* message, void* userData, SdBusError* error);

struct SdBusLibrary
{
    int (*openUser)(SdBus** bus);
    SdBus* (*flushCloseUnref)(SdBus* bus);
    int (*newMethodCall)(SdBus* bus, SdBusMessage** message, const char* destination, const char* path,
                         const char* interface, const char* member);
    int (*append)(SdBusMessage* message, const char* types, ...);
    int (*call)(SdBus* bus, SdBusMessage* message, uint64_t timeoutUsec, SdBusError* error,
                SdBusMessage** reply);
    SdBusMessage* (*messageUnref)(SdBusMessage* message);
    int (*read)(SdBusMessage* message, const char* types, ...);
    int (*readStrv)(SdBusMessage* message, char*** list);
    int (*skip)(SdBusMessage* message, const char* types);
    const char* (*member)(SdBusMessage* message);
    const char* (*sender)(SdBusMessage* message);
    int (*isMethodCall)(SdBusMessage* message, const char* interface, const char* member);
    int (*addMatch)(SdBus* bus, SdBusSlot** slot, const char* match, SdBusHandler callback, void* userData);
    int (*addFilter)(SdBus* bus, SdBusSlot** slot, SdBusHandler callback, void* userData);
    int (*requestName)(SdBus* bus, const char* name, uint64_t flags);
    int (*replyMethodReturn)(SdBusMessage* call, const char* types, ...);
    int (*emitSignal)(SdBus* bus, const char* path, const char* interface, const char* member,
                      const char* types, ...);
    int (*process)(SdBus* bus, SdBusMessage** message);
    int (*wait)(SdBus* bus, uint64_t timeoutUsec);
    void (*errorFree)(SdBusError* error);
};

// The library's functions, or nullptr when libsystemd.so.0 or one of them is missing. Loaded
// once per process; safe to call from several threads.
const SdBusLibrary* sdBusLibrary();

} // namespace tavrel::platform::posix
