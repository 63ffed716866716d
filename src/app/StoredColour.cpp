#include "StoredColour.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace kv10 {

namespace {

// System colour indices of the settings format and the palette roles that stand for them.
struct SystemColour { int index; QPalette::ColorRole role; };
constexpr SystemColour SystemColours[] = {
    {4, QPalette::Window},          // menu
    {5, QPalette::Base},            // window background
    {8, QPalette::Text},            // window text
    {13, QPalette::Highlight},
    {14, QPalette::HighlightedText},
    {15, QPalette::Button},         // button face
    {16, QPalette::Mid},            // button shadow
    {18, QPalette::ButtonText},
    {20, QPalette::Light},          // button highlight
};

} // namespace

QColor colourFromStored(qint32 value)
{
    const quint32 bits = quint32(value);
    if (bits & 0x80000000u) {
        const int index = int(bits & 0xFFu);
        QPalette::ColorRole role = QPalette::Button;
        for (const SystemColour& c : SystemColours)
            if (c.index == index)
                role = c.role;
        return QApplication::palette().color(QPalette::Active, role);
    }
    return QColor(int(bits & 0xFFu), int((bits >> 8) & 0xFFu), int((bits >> 16) & 0xFFu));
}

qint32 storedFromColour(const QColor& colour)
{
    return qint32(quint32(colour.red()) | (quint32(colour.green()) << 8) | (quint32(colour.blue()) << 16));
}

qint32 storedFromRgb(quint32 rgb)
{
    return storedFromColour(QColor::fromRgb(QRgb(rgb)));
}

void fillPanel(QWidget& panel, const QColor& colour)
{
    QPalette palette = panel.palette();
    palette.setColor(QPalette::Window, colour);
    panel.setPalette(palette);
    panel.setAutoFillBackground(true);
}

} // namespace kv10
