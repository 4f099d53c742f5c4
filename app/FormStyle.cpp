#include "app/FormStyle.h"

#include <QFont>
#include <QPalette>

namespace {
// Metric-compatible with the common sans-serif dialog fonts the layout was drawn for.
constexpr const char* kFontFamily = "Liberation Sans";
constexpr int kFontPixelSize = 10;
}  // namespace

void ApplyFormStyle(QWidget* window) {
    QFont font(kFontFamily);
    font.setPixelSize(kFontPixelSize);
    window->setFont(font);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    window->setPalette(palette);
    window->setAutoFillBackground(true);
}
