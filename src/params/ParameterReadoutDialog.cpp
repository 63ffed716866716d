#include "ParameterReadoutDialog.h"
#include "ui_ParameterReadoutDialog.h"

#include "ParameterEditor.h"

ParameterReadoutDialog::ParameterReadoutDialog(ParameterEditor& editor, kv10::TelegramLink& link,
                                               kv10::Prompts& prompts, kv10::Waiter& waiter, QWidget* parent)
    : QDialog(parent), ui(new Ui::ParameterReadoutDialog), m_editor(editor), m_link(link), m_prompts(prompts),
      m_waiter(waiter)
{
    ui->setupUi(this);
}

ParameterReadoutDialog::~ParameterReadoutDialog()
{
    delete ui;
}

int ParameterReadoutDialog::FirmwareVariant() const
{
    return 0;
}

void ParameterReadoutDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
}
