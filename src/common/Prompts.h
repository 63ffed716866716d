#pragma once
// Every message box and file or colour dialog of the program goes through this interface,
// so tests can see each box and answer it from a script.
#include <QFlags>
#include <QString>
#include <QStringList>
#include <optional>

class QObject;

namespace kv10 {

enum class PromptIcon { None, Information, Warning, Error, Question };

enum class PromptButton { None = 0, Ok = 0x1, Cancel = 0x2, Yes = 0x4, No = 0x8 };
Q_DECLARE_FLAGS(PromptButtons, PromptButton)
Q_DECLARE_OPERATORS_FOR_FLAGS(PromptButtons)

struct FileDialogRequest {
    QString title;           // empty: the toolkit's default title
    QString fileName;        // preset name (may include a folder)
    QString directory;       // initial folder
    QString filter;          // e.g. "Text (*.txt);;Vše (*.*)"
    QString defaultSuffix;   // appended when the user types none
    bool confirmOverwrite = true;
    bool pathMustExist = true;
    bool fileMustExist = false;
    QObject* owner = nullptr;

    // Saving a text file: the program's *.txt filter, ".TXT" added to a bare name.
    static FileDialogRequest saveText(const QString& title, const QString& fileName, QObject* owner)
    {
        FileDialogRequest request;
        request.title = title;
        request.fileName = fileName;
        request.filter = QStringLiteral("Textový soubor [*.txt] (*.txt)");
        request.defaultSuffix = QStringLiteral("TXT");
        request.owner = owner;
        return request;
    }
};

class Prompts {
public:
    virtual ~Prompts() = default;
    // Shows a message box; returns the button pressed (None if it was closed otherwise).
    virtual PromptButton message(const QString& text, const QString& caption, PromptIcon icon,
                                 PromptButtons buttons, QObject* owner = nullptr) = 0;
    // Returns the chosen path, or an empty text when the user cancelled.
    virtual QString saveFile(const FileDialogRequest& request) = 0;
    virtual QString openFile(const FileDialogRequest& request) = 0;
    // Colours as 0xRRGGBB; nullopt when the user cancelled.
    virtual std::optional<quint32> chooseColour(quint32 initialRgb, QObject* owner = nullptr) = 0;
};

} // namespace kv10
