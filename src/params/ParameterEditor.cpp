#include "ParameterEditor.h"
#include "ui_ParameterEditor.h"

ParameterEditor::ParameterEditor(QWidget* parent) : QDialog(parent), ui(new Ui::ParameterEditor)
{
    ui->setupUi(this);
}

ParameterEditor::~ParameterEditor()
{
    delete ui;
}
