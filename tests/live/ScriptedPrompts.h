#pragma once
// Prompts for tests: records every box and answers messages and colour dialogs from queues.
#include "Prompts.h"

#include <QList>
#include <QQueue>

class ScriptedPrompts : public kv10::Prompts {
public:
    struct Box {
        QString text;
        QString caption;
        kv10::PromptIcon icon;
        kv10::PromptButtons buttons;
        QObject* owner;
    };

    QList<Box> boxes;
    QQueue<kv10::PromptButton> answers;          // default: Ok
    QQueue<std::optional<quint32>> colours;      // default: cancelled
    QList<quint32> colourRequests;

    kv10::PromptButton message(const QString& text, const QString& caption, kv10::PromptIcon icon,
                               kv10::PromptButtons buttons, QObject* owner = nullptr) override
    {
        boxes.append({text, caption, icon, buttons, owner});
        return answers.isEmpty() ? kv10::PromptButton::Ok : answers.dequeue();
    }
    QString saveFile(const kv10::FileDialogRequest&) override { return {}; }
    QString openFile(const kv10::FileDialogRequest&) override { return {}; }
    std::optional<quint32> chooseColour(quint32 initialRgb, QObject* = nullptr) override
    {
        colourRequests.append(initialRgb);
        return colours.isEmpty() ? std::nullopt : colours.dequeue();
    }
};
