#include "EditorPages.h"

#include "Prompts.h"

#include <QComboBox>
#include <QProgressBar>

namespace kv10::editor {

void showInputError(Prompts& prompts, const char* text)
{
    prompts.message(QString::fromUtf8(text), QStringLiteral("CHYBA"), PromptIcon::Warning, PromptButton::Ok,
                    nullptr);
}

void selectItem(QComboBox& combo, int index)
{
    combo.setCurrentIndex(index >= 0 && index < combo.count() ? index : -1);
}

void showProgress(QProgressBar& bar, int position)
{
    bar.setValue(position);
    bar.setVisible(true);
    bar.repaint();
}

} // namespace kv10::editor
