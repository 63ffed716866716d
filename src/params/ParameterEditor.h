#pragma once
// "KORVIN 10 DATA": The parameter editor with its pages and the setpoint programs.
#include <QDialog>

namespace Ui { class ParameterEditor; }

class ParameterEditor : public QDialog {
    Q_OBJECT
public:
    explicit ParameterEditor(QWidget* parent = nullptr);
    ~ParameterEditor() override;

private:
    Ui::ParameterEditor* ui;
};
