// Quorvex: a small password generator with one window.
#include "app/display_check.h"
#include "app/form1.h"
#include "app/picture.h"
#include "app/title_bar.h"
#include "runtime/qt_services.h"

#include <sys/prctl.h>
#include <QApplication>
#include <optional>

namespace {

// The program takes no command line, and Qt would otherwise act on its own
// options in it (-reverse, -qwindowtitle, -qwindowgeometry, -platform, ...):
// Qt sees the program's name alone. The desktop's settings still reach Qt
// through its environment variables.
struct QtCommandLine {
    explicit QtCommandLine(char* program) {
        static char fallback[] = "Quorvex";
        argv[0] = program != nullptr ? program : fallback;
    }
    int argc = 1;
    char* argv[2] = {nullptr, nullptr};
};

}  // namespace

int main(int argc, char* argv[]) {
    // First of all: no core dump with a password in it, and no other process
    // of the user may read this one's memory.
    prctl(PR_SET_DUMPABLE, 0);

    // Decided before the window system opens its files, so that a copy short
    // of file descriptors still gets one for the guard.
    quorvex::runtime::InstanceGuard guard("Quorvex");
    guard.AnotherCopyRuns();

    std::optional<quorvex::app::DisplayCheck> display_check(std::in_place);
    QtCommandLine command_line(argc > 0 ? argv[0] : nullptr);
    QApplication application(command_line.argc, command_line.argv);
    display_check.reset();
    QApplication::setApplicationName(QStringLiteral("Quorvex"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVEX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quorvex"));
    // Every window takes the program's icon, the second copy's message box
    // included, which comes before the main window.
    QApplication::setWindowIcon(quorvex::app::ProgramIcon());
    guard.AnswerLaterCopies();

    quorvex::runtime::QtServices services(guard,
                                          [](QWidget& box) { quorvex::app::AddOwnTitleBar(box); });
    quorvex::app::Form1 form(services);
    try {
        form.Load();
    } catch (const quorvex::runtime::ProgramEnd& end) {
        return end.status;
    }
    form.ShowCentred();
    return QApplication::exec();
}
