#include "runtime/event_handler.h"

namespace quorvex::runtime {

QString RuntimeErrorPrompt(const RuntimeError& error) {
    return QStringLiteral("Run-time error '%1':\n\n%2")
        .arg(static_cast<int>(error.number()))
        .arg(error.description());
}

void ReportRuntimeError(Services& services, const RuntimeError& error) {
    try {
        services.MsgBox(RuntimeErrorPrompt(error), MsgBoxStyle::Critical,
                        QString::fromLatin1(kProgramTitle));
    } catch (const RuntimeError&) {
        // The report itself failed; there is nothing left to tell it with.
    }
}

void ReportOutOfMemory(Services& services) {
    try {
        ReportRuntimeError(services, RuntimeError(ErrorNumber::OutOfMemory,
                                                  ErrorDescription(ErrorNumber::OutOfMemory)));
    } catch (const std::bad_alloc&) {
        // Not even the report fits; the handler has ended all the same.
    }
}

}  // namespace quorvex::runtime
