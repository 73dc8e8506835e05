// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_sd_bus.h"

#include <dlfcn.h>

namespace tavrel::platform::posix {
namespace {

template <typename Function> bool bind(void* library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

SdBusLibrary* load()
{
    // Kept for the life of the process: the functions are used until its end.
    void* library = ::dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return nullptr;
    static SdBusLibrary table;
    const bool complete =
        bind(library, "sd_bus_open_user", table.openUser) &&
        bind(library, "sd_bus_flush_close_unref", table.flushCloseUnref) &&
        bind(library, "sd_bus_message_new_method_call", table.newMethodCall) &&
        bind(library, "sd_bus_message_append", table.append) && bind(library, "sd_bus_call", table.call) &&
        bind(library, "sd_bus_message_unref", table.messageUnref) &&
        bind(library, "sd_bus_message_read", table.read) &&
        bind(library, "sd_bus_message_read_strv", table.readStrv) &&
        bind(library, "sd_bus_message_skip", table.skip) &&
        bind(library, "sd_bus_message_get_member", table.member) &&
        bind(library, "sd_bus_message_get_sender", table.sender) &&
        bind(library, "sd_bus_message_is_method_call", table.isMethodCall) &&
        bind(library, "sd_bus_add_match", table.addMatch) &&
        bind(library, "sd_bus_add_filter", table.addFilter) &&
        bind(library, "sd_bus_request_name", table.requestName) &&
        bind(library, "sd_bus_reply_method_return", table.replyMethodReturn) &&
        bind(library, "sd_bus_emit_signal", table.emitSignal) &&
        bind(library, "sd_bus_process", table.process) && bind(library, "sd_bus_wait", table.wait) &&
        bind(library, "sd_bus_error_free", table.errorFree);
    return complete ? &table : nullptr;
}

} // namespace

const SdBusLibrary* sdBusLibrary()
{
    static const SdBusLibrary* const library = load();
    return library;
}

} // namespace tavrel::platform::posix
