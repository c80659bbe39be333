// Quorvex: a small password generator with one window.
#include "app/form1.h"
#include "runtime/qt_services.h"

#include <QApplication>

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
    QtCommandLine command_line(argc > 0 ? argv[0] : nullptr);
    QApplication application(command_line.argc, command_line.argv);
    QApplication::setApplicationName(QStringLiteral("Quorvex"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVEX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quorvex"));

    quorvex::runtime::QtServices services;
    quorvex::app::Form1 form(services);
    form.Load();
    form.ShowCentred();
    return QApplication::exec();
}
