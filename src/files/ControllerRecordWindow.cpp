#include "ControllerRecordWindow.h"
#include "ui_ControllerRecordWindow.h"

ControllerRecordWindow::ControllerRecordWindow(kv10::TelegramLink& link, kv10::Prompts& prompts, QWidget* parent)
    : QDialog(parent), ui(new Ui::ControllerRecordWindow), m_link(link), m_prompts(prompts)
{
    ui->setupUi(this);
}

ControllerRecordWindow::~ControllerRecordWindow()
{
    delete ui;
}
