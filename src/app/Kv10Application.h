#pragma once
// The application object: an error that escapes an event handler is shown in the error box
// (caption "KV-10") instead of ending the program.
#include <QApplication>

namespace kv10 { class Prompts; }

class Kv10Application : public QApplication {
public:
    Kv10Application(int& argc, char** argv);

    // Name and version, also for the command line before there is a window system.
    static void describeProgram();

    void setPrompts(kv10::Prompts* prompts) { m_prompts = prompts; }
    bool notify(QObject* receiver, QEvent* event) override;

    // Loads the toolkit's Czech texts (button captions, standard dialogs, command-line
    // messages) into the running application; false when the translation file is not installed.
    static bool loadCzechTranslations();

private:
    void showError(const QString& text);

    kv10::Prompts* m_prompts = nullptr;
};
