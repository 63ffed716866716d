#pragma once
// Dialogs that open in the middle of the screen rather than over their parent.
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

inline void moveToScreenCentre(QWidget& window)
{
    const QWidget* parent = window.parentWidget();
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
}
