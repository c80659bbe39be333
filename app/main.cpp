// Quorvex: a small password generator with one window.
#include "app/form1.h"
#include "runtime/qt_services.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvex"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVEX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quorvex"));

    quorvex::runtime::QtServices services;
    quorvex::app::Form1 form(services);
    form.Load();
    form.ShowCentred();
    return QApplication::exec();
}
