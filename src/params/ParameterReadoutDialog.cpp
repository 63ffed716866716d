#include "ParameterReadoutDialog.h"
#include "ui_ParameterReadoutDialog.h"

ParameterReadoutDialog::ParameterReadoutDialog(QWidget* parent) : QDialog(parent), ui(new Ui::ParameterReadoutDialog)
{
    ui->setupUi(this);
}

ParameterReadoutDialog::~ParameterReadoutDialog()
{
    delete ui;
}
