#include "WidgetPrompts.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QWidget>

using namespace kv10;

namespace {

QWidget* ownerWidget(QObject* owner)
{
    return qobject_cast<QWidget*>(owner);
}

QMessageBox::Icon boxIcon(PromptIcon icon)
{
    switch (icon) {
    case PromptIcon::Information: return QMessageBox::Information;
    case PromptIcon::Warning: return QMessageBox::Warning;
    case PromptIcon::Error: return QMessageBox::Critical;
    case PromptIcon::Question: return QMessageBox::Question;
    case PromptIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonPair { PromptButton prompt; QMessageBox::StandardButton box; };
constexpr ButtonPair Buttons[] = {
    {PromptButton::Ok, QMessageBox::Ok},
    {PromptButton::Cancel, QMessageBox::Cancel},
    {PromptButton::Yes, QMessageBox::Yes},
    {PromptButton::No, QMessageBox::No},
};

QString runFileDialog(const FileDialogRequest& request, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(ownerWidget(request.owner), request.title, request.directory, request.filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave || !request.fileMustExist ? QFileDialog::AnyFile
                                                                                 : QFileDialog::ExistingFile);
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    // The file types read as their names alone ("Textový soubor [*.txt]"), without the
    // patterns repeated behind them.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

PromptButton WidgetPrompts::message(const QString& text, const QString& caption, PromptIcon icon,
                                    PromptButtons buttons, QObject* owner)
{
    QMessageBox box(boxIcon(icon), caption, text, QMessageBox::NoButton, ownerWidget(owner));
    // Texts carry what the controller sent or a file held: never taken for markup.
    box.setTextFormat(Qt::PlainText);
    for (const ButtonPair& pair : Buttons)
        if (buttons.testFlag(pair.prompt))
            box.addButton(pair.box);
    if (box.buttons().isEmpty())
        box.addButton(QMessageBox::Ok);
    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const ButtonPair& pair : Buttons)
        if (pair.box == pressed)
            return pair.prompt;
    return PromptButton::None;
}

QString WidgetPrompts::saveFile(const FileDialogRequest& request)
{
    return runFileDialog(request, QFileDialog::AcceptSave);
}

QString WidgetPrompts::openFile(const FileDialogRequest& request)
{
    return runFileDialog(request, QFileDialog::AcceptOpen);
}

std::optional<quint32> WidgetPrompts::chooseColour(quint32 initialRgb, QObject* owner)
{
    const QColor chosen = QColorDialog::getColor(QColor::fromRgb(QRgb(initialRgb)), ownerWidget(owner));
    if (!chosen.isValid())
        return std::nullopt;
    return chosen.rgb() & 0xFFFFFFu;
}
