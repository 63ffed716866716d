#pragma once
// Renders every window of the program, and the main window's menus, to PNG files.
#include <QString>
#include <QStringList>

class AppContext;

// Writes one PNG per window into `folder` (created if missing); returns the files written.
// Empty list and `error` set when the folder cannot be made or a file cannot be written.
QStringList saveScreenshots(AppContext& context, const QString& folder, QString* error = nullptr);
