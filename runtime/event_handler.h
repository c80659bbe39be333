// How a runtime error surfaces: it ends the running handler at the statement
// that raised it, what earlier statements did stays, and the runtime reports
// it in a message box. The program then goes on.
#pragma once

#include "runtime/runtime.h"
#include "runtime/services.h"

#include <new>
#include <utility>

namespace quorvex::runtime {

// The title of the runtime's own reports: the program's name.
inline constexpr char16_t kProgramTitle[] = u"Quorvex";

// "Run-time error '6':\n\nOverflow"
String RuntimeErrorPrompt(const RuntimeError& error);

void ReportRuntimeError(Services& services, const RuntimeError& error);

// Reports Out of memory, if there is still memory enough to say it.
void ReportOutOfMemory(Services& services);

// Runs one event handler; a runtime error it raises is reported, not thrown
// on, and so is a failed allocation, which is the runtime's Out of memory.
// End (ProgramEnd) passes through to the program's entry.
template <typename Handler>
void RunEventHandler(Services& services, Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (const RuntimeError& error) {
        ReportRuntimeError(services, error);
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory(services);
    }
}

}  // namespace quorvex::runtime
