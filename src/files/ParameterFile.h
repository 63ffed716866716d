#pragma once
// A whole parameter set as an INI file: the editor's pages and the ten setpoint programs.
namespace kv10 { class Prompts; }
class ParameterEditor;

// "Uložit...": asks for a file name and saves the pages as they stand and the programs.
void saveParameterFile(ParameterEditor& editor, kv10::Prompts& prompts);
// "Otevřít...": asks for a file and loads it into the pages and the controller image.
void openParameterFile(ParameterEditor& editor, kv10::Prompts& prompts);
