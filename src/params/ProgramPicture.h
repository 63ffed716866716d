#pragma once
// The program's picture: a panel controller with its red display, drawn at any size.
#include <QPixmap>

QPixmap programPicture(int size = 70);
