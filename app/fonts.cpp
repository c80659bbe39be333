#include "app/fonts.h"

#include <QStringList>
#include <cmath>

namespace quorvex::app {

namespace {

// Points to pixels at the window's design resolution of 96 dots per inch.
int PixelsAt96Dpi(double points) {
    return static_cast<int>(std::lround(points * 96 / 72));
}

QFont MakeFont(const QString& family, const QStringList& stand_ins, QFont::StyleHint hint,
               double points) {
    QFont::insertSubstitutions(family, stand_ins);
    QFont font(family);
    font.setStyleHint(hint);
    font.setPixelSize(PixelsAt96Dpi(points));
    font.setWeight(QFont::Normal);
    return font;
}

}  // namespace

QFont FixedsysFont() {
    return MakeFont(QStringLiteral("Fixedsys"),
                    {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                     QStringLiteral("Monospace")},
                    QFont::TypeWriter, 9.75);
}

QFont LucidaHandwritingFont() {
    return MakeFont(QStringLiteral("Lucida Handwriting"), {QStringLiteral("Dancing Script")},
                    QFont::Cursive, 12);
}

}  // namespace quorvex::app
