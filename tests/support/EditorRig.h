#pragma once
// The parameter editor shown on a scripted transport that records every telegram, with the
// texts of its parse boxes.

#include "FakeTransport.h"
#include "ParameterEditor.h"
#include "Protocol.h"
#include "ScriptedPrompts.h"
#include "TableCodec.h"
#include "Telegram.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <memory>

namespace kv10::test::editor {

inline const QString FloatBox = "CHYBA: Je nutné zadávat pouze čísla nebo desetinnou čárku";
inline const QString IntBox = "CHYBA: Je nutné zadávat pouze čísla";
inline const QByteArray Ack = shortFrame(0, 0, FcAckPositive);

struct Rig {
    ControllerImage image;   // the editor's copy
    ScriptedPrompts prompts;
    CountingWaiter waiter;
    FakeTransport transport;
    SessionRunner runner{[this] {
                             auto session = std::make_unique<ControllerSession>(waiter);
                             session->link().setTransport(&transport);
                             return session;
                         },
                         SessionRunner::Mode::Inline};
    TelegramLink& link = runner.session().link();
    ParameterEditor editor{runner, image, prompts};
    int variant;

    explicit Rig(int firmware) : variant(firmware)
    {
        editor.setFirmwareVariantSource([this] { return variant; });
    }
    template <typename T = QWidget> T* get(const QString& name) { return editor.findChild<T*>(name); }
    QLineEdit* edit(const QString& name) { return get<QLineEdit>(name); }
    QComboBox* combo(const QString& name) { return get<QComboBox>(name); }
    // "TABLE.FIELD" of the image, as a number.
    double value(const QString& name) { return fieldValue(image, field(name)); }
    void setValue(const QString& name, double v) { setFieldValue(image, field(name), v); }
    static const TableField& field(const QString& name)
    {
        const TableInfo* table = findTable(name.section('.', 0, 0));
        return *findField(*table, name.section('.', 1));
    }
    QStringList boxes() const
    {
        QStringList out;
        for (const PromptRecord& r : prompts.messages())
            out << r.caption + ": " + r.text;
        return out;
    }
    // Each request as "write 16/2": command, table, byte count; a resent request counts once.
    QStringList requests() const
    {
        QStringList out;
        for (const QByteArray& frame : transport.writes) {
            const QString line = QStringLiteral("%1 %2/%3").arg(frame[7] == CmdWrite ? "write" : "read")
                                     .arg(uint8_t(frame[8])).arg(uint8_t(frame[9]));
            if (out.isEmpty() || out.last() != line)
                out << line;
        }
        return out;
    }
};

inline std::unique_ptr<Rig> shown(int variant)
{
    auto rig = std::make_unique<Rig>(variant);
    rig->editor.show();
    return rig;
}

} // namespace kv10::test::editor
