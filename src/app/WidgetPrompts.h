#pragma once
// Prompts shown with the toolkit's message box, file dialog and colour dialog.
#include "Prompts.h"

class WidgetPrompts : public kv10::Prompts {
public:
    kv10::PromptButton message(const QString& text, const QString& caption, kv10::PromptIcon icon,
                               kv10::PromptButtons buttons, QObject* owner = nullptr) override;
    QString saveFile(const kv10::FileDialogRequest& request) override;
    QString openFile(const kv10::FileDialogRequest& request) override;
    std::optional<quint32> chooseColour(quint32 initialRgb, QObject* owner = nullptr) override;
};
