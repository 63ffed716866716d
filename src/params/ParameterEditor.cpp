#include "ParameterEditor.h"
#include "ui_ParameterEditor.h"

#include "Telegram.h"

#include <QTabWidget>

ParameterEditor::ParameterEditor(kv10::TelegramLink& link, kv10::Prompts& prompts, kv10::Waiter& waiter,
                                 QWidget* parent)
    : QDialog(parent), ui(new Ui::ParameterEditor), m_link(link), m_image(link.image()), m_prompts(prompts),
      m_waiter(waiter)
{
    ui->setupUi(this);
}

ParameterEditor::~ParameterEditor()
{
    delete ui;
}

void ParameterEditor::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
}
