#pragma once
// Colours as the settings keep them: a 32-bit value with red in the low byte, green in the
// next and blue in the third, or a system-colour reference 0x80000000 | index (the button
// face is 0x8000000F, negative as a signed value). And the panels that show a colour.
#include <QColor>
#include <QtGlobal>

class QWidget;

namespace kv10 {

constexpr qint32 StoredRed = 0x000000FF;
constexpr qint32 StoredButtonFace = qint32(0x8000000Fu);

QColor colourFromStored(qint32 value);
qint32 storedFromColour(const QColor& colour);
// 0xRRGGBB (the Prompts colour form) to the stored form.
qint32 storedFromRgb(quint32 rgb);

// Fills a panel, lamp or colour swatch with `colour` (its window background).
void fillPanel(QWidget& panel, const QColor& colour);

} // namespace kv10
