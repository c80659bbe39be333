// Quorvex: a small password generator with one window.
#include "app/program.h"
#include "linux/display_check.h"
#include "linux/picture.h"
#include "linux/qt_services.h"
#include "linux/qt_window.h"

#include <sys/prctl.h>
#include <QApplication>
#include <optional>

int main(int argc, char* argv[]) {
    // First of all: no core dump with a password in it, and no other process
    // of the user may read this one's memory.
    prctl(PR_SET_DUMPABLE, 0);

    // Decided before the window system opens its files, so that a copy short
    // of file descriptors still gets one for the guard.
    quorvex::desktop::InstanceGuard guard("Quorvex");
    guard.AnotherCopyRuns();

    std::optional<quorvex::desktop::DisplayCheck> display_check(std::in_place);
    // The program takes no command line, and Qt would otherwise act on its
    // own options in it (-reverse, -qwindowtitle, -platform, ...): Qt sees the
    // program's name alone. The desktop's settings still reach Qt through its
    // environment variables.
    static char fallback[] = "Quorvex";
    int qt_argc = 1;
    char* qt_argv[] = {argc > 0 && argv[0] != nullptr ? argv[0] : fallback, nullptr};
    QApplication application(qt_argc, qt_argv);
    display_check.reset();
    QApplication::setApplicationName(QStringLiteral("Quorvex"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVEX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quorvex"));
    // Every window takes the program's icon, the second copy's message box
    // included, which comes before the main window.
    QApplication::setWindowIcon(quorvex::desktop::ProgramIcon());
    guard.AnswerLaterCopies();

    quorvex::desktop::QtServices services(guard);
    quorvex::desktop::QtWindowSystem window_system;
    return quorvex::app::Main(window_system, services);
}
