#include "linux/fonts.h"

#include <QStringList>
#include <cmath>

namespace quorvex::desktop {

namespace {

// Points to pixels at the window's design resolution of 96 dots per inch.
int PixelsAt96Dpi(double points) {
    return static_cast<int>(std::lround(points * 96 / 72));
}

}  // namespace

QFont FontOf(const runtime::FontDefinition& definition) {
    const QString family = QString::fromStdU16String(std::u16string(definition.name));
    const bool fixed = family == u"Fixedsys";
    QFont::insertSubstitutions(
        family, fixed ? QStringList{QStringLiteral("DejaVu Sans Mono"),
                                    QStringLiteral("Liberation Mono"), QStringLiteral("Monospace")}
                      : QStringList{QStringLiteral("Dancing Script")});
    QFont font(family);
    font.setStyleHint(fixed ? QFont::TypeWriter : QFont::Cursive);
    font.setPixelSize(PixelsAt96Dpi(definition.points));
    font.setWeight(QFont::Weight(definition.weight));
    return font;
}

}  // namespace quorvex::desktop
