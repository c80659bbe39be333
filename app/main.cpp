// Quorvex: a small password generator with one window.
#include "app/display_check.h"
#include "app/form1.h"
#include "runtime/qt_services.h"

#include <sys/prctl.h>
#include <QApplication>
#include <optional>

int main(int argc, char* argv[]) {
    // First of all: no core dump with a password in it, and no other process
    // of the user may read this one's memory.
    prctl(PR_SET_DUMPABLE, 0);

    // Decided before the window system opens its files, so that a copy short
    // of file descriptors still gets one for the guard.
    quorvex::runtime::InstanceGuard guard("Quorvex");
    guard.AnotherCopyRuns();

    std::optional<quorvex::app::DisplayCheck> display_check(std::in_place);
    QApplication application(argc, argv);
    display_check.reset();
    QApplication::setApplicationName(QStringLiteral("Quorvex"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
    QApplication::setDesktopFileName(QStringLiteral("quorvex"));

    quorvex::runtime::QtServices services(guard);
    quorvex::app::Form1 form(services);
    try {
        form.Load();
    } catch (const quorvex::runtime::ProgramEnd& end) {
        return end.status;
    }
    form.ShowCentred();
    return QApplication::exec();
}
