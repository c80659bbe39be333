#include "runtime/event_handler.h"

namespace quorvex::runtime {

String RuntimeErrorPrompt(const RuntimeError& error) {
    return u"Run-time error '" + CStr(static_cast<int>(error.number())) + u"':\n\n" +
           FromAscii(error.what());
}

void ReportRuntimeError(Services& services, const RuntimeError& error) {
    try {
        services.MsgBox(RuntimeErrorPrompt(error), MsgBoxStyle::Critical, kProgramTitle);
    } catch (const RuntimeError&) {
        // The report itself failed; there is nothing left to tell it with.
    }
}

void ReportOutOfMemory(Services& services) {
    try {
        ReportRuntimeError(services, RuntimeError(ErrorNumber::OutOfMemory));
    } catch (const std::bad_alloc&) {
        // Not even the report fits; the handler has ended all the same.
    }
}

}  // namespace quorvex::runtime
