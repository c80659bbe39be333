#include "linux/display_check.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace quorvex::desktop {

namespace {

struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

QtMessageHandler previous_handler = nullptr;
QList<HeldMessage> held_messages;

// The line for a display that cannot be opened, from the environment Qt
// chooses its platform by.
QByteArray DisplayLine() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool wayland = platform.startsWith("wayland");
    const char* variable = wayland ? "WAYLAND_DISPLAY" : "DISPLAY";
    const QByteArray display = qgetenv(variable);
    if (display.isEmpty()) {
        return "Quorvex: cannot open display: " + QByteArray(variable) + " is not set\n";
    }
    return "Quorvex: cannot open display \"" + display + "\"\n";
}

void Hold(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        // Qt calls abort() when this returns; one line is all the user needs.
        bool display_failed = qgetenv("DISPLAY").isEmpty();
        for (const HeldMessage& message : std::as_const(held_messages)) {
            display_failed |= message.text.contains(QLatin1String("connect to display")) ||
                              message.text.contains(QLatin1String("wl_display"));
        }
        const QByteArray line = display_failed
                                    ? DisplayLine()
                                    : "Quorvex: " + text.section(u'\n', 0, 0).toLocal8Bit() + '\n';
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
        std::fflush(stderr);
        std::_Exit(EXIT_FAILURE);
    }
    held_messages.append({type, QByteArray(context.category), text});
}

}  // namespace

DisplayCheck::DisplayCheck() {
    // Qt answers with its own default handler when no other was installed, so
    // there is always one to pass the held messages on to.
    previous_handler = qInstallMessageHandler(Hold);
}

DisplayCheck::~DisplayCheck() {
    qInstallMessageHandler(previous_handler);
    const QList<HeldMessage> held = std::exchange(held_messages, {});
    for (const HeldMessage& message : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        previous_handler(message.type, context, message.text);
    }
}

}  // namespace quorvex::desktop
