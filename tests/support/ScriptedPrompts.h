#pragma once
// Prompts for tests: records every box and dialog (kind, text or title, caption, icon,
// buttons, owner) and answers from queues. An empty queue answers like a closed box: None,
// a cancelled file dialog, a cancelled colour dialog. With a shared event log, each prompt
// also appends a line ("message <caption>: <text>", "save <title>", ...).
#include "Prompts.h"

#include <QList>
#include <QObject>
#include <QStringList>

namespace kv10::test {

struct PromptRecord {
    enum Kind { Message, SaveFile, OpenFile, Colour };
    Kind kind = Message;
    QString text;            // message text
    QString caption;         // message caption, or the file dialog's title
    PromptIcon icon = PromptIcon::None;
    PromptButtons buttons;
    QObject* owner = nullptr;
    FileDialogRequest request;
};

class ScriptedPrompts : public Prompts {
public:
    explicit ScriptedPrompts(QStringList* log = nullptr) : m_log(log) {}

    QList<PromptRecord> records;
    QList<PromptButton> buttonAnswers;
    QStringList fileAnswers;                 // "" answers as a cancel
    QList<std::optional<quint32>> colourAnswers;

    QList<PromptRecord> recordsOf(PromptRecord::Kind kind) const
    {
        QList<PromptRecord> out;
        for (const PromptRecord& r : records)
            if (r.kind == kind)
                out << r;
        return out;
    }
    QList<PromptRecord> messages() const { return recordsOf(PromptRecord::Message); }
    // "caption: text" of every message box, in order.
    QStringList boxes() const
    {
        QStringList out;
        for (const PromptRecord& box : messages())
            out << box.caption + ": " + box.text;
        return out;
    }

    PromptButton message(const QString& text, const QString& caption, PromptIcon icon,
                         PromptButtons buttons, QObject* owner = nullptr) override
    {
        PromptRecord r;
        r.kind = PromptRecord::Message;
        r.text = text;
        r.caption = caption;
        r.icon = icon;
        r.buttons = buttons;
        r.owner = owner;
        records << r;
        note(QStringLiteral("message %1: %2").arg(caption, text));
        return buttonAnswers.isEmpty() ? PromptButton::None : buttonAnswers.takeFirst();
    }

    QString saveFile(const FileDialogRequest& request) override { return file(PromptRecord::SaveFile, request); }
    QString openFile(const FileDialogRequest& request) override { return file(PromptRecord::OpenFile, request); }

    std::optional<quint32> chooseColour(quint32 initialRgb, QObject* owner = nullptr) override
    {
        PromptRecord r;
        r.kind = PromptRecord::Colour;
        r.text = QString::number(initialRgb, 16);
        r.owner = owner;
        records << r;
        note(QStringLiteral("colour"));
        return colourAnswers.isEmpty() ? std::nullopt : colourAnswers.takeFirst();
    }

private:
    QString file(PromptRecord::Kind kind, const FileDialogRequest& request)
    {
        PromptRecord r;
        r.kind = kind;
        r.caption = request.title;
        r.owner = request.owner;
        r.request = request;
        records << r;
        note(QStringLiteral("%1 %2").arg(kind == PromptRecord::SaveFile ? "save" : "open", request.title));
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }

    void note(const QString& line)
    {
        if (m_log)
            *m_log << line;
    }

    QStringList* m_log;
};

} // namespace kv10::test
