#pragma once
// A whole parameter set as an INI file: the editor's pages ALARM 1 to GO and COMP, and the ten
// setpoint programs of the controller image. Neither saving nor loading talks to the controller.
#include <QString>

namespace kv10 {
class Prompts;
struct ControllerImage;
}
class ParameterEditor;

// "Uložit...": asks for a file name and saves the pages as they stand and the programs of the
// image. The editor has no way to its image, hence the image beside it.
void saveParameterFile(ParameterEditor& editor, kv10::ControllerImage& image, kv10::Prompts& prompts);
// "Otevřít...": asks for a file and loads it into the pages and the image.
void openParameterFile(ParameterEditor& editor, kv10::ControllerImage& image, kv10::Prompts& prompts);

// Saving without the dialog: the set goes into the file's content in memory, which then replaces
// the file at once. False when the file could not be read or written; it is then as it was.
// Pages the user has not edited are shown from the image first.
bool saveParameterSet(ParameterEditor& editor, const kv10::ControllerImage& image, const QString& path);
// Loading without the dialog; every message goes through `prompts` or the editor's own.
void loadParameterSet(ParameterEditor& editor, kv10::ControllerImage& image, kv10::Prompts& prompts,
                      const QString& path);
