#include "IdentificationDialog.h"
#include "ui_IdentificationDialog.h"

IdentificationDialog::IdentificationDialog(kv10::TelegramLink& link, kv10::Prompts& prompts, kv10::Waiter& waiter,
                                           QWidget* parent)
    : QDialog(parent), ui(new Ui::IdentificationDialog), m_link(link), m_prompts(prompts), m_waiter(waiter)
{
    ui->setupUi(this);
}

IdentificationDialog::~IdentificationDialog()
{
    delete ui;
}

void IdentificationDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
}
