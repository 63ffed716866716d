#include "ControllerRecordWindow.h"
#include "ui_ControllerRecordWindow.h"

ControllerRecordWindow::ControllerRecordWindow(QWidget* parent) : QDialog(parent), ui(new Ui::ControllerRecordWindow)
{
    ui->setupUi(this);
}

ControllerRecordWindow::~ControllerRecordWindow()
{
    delete ui;
}
