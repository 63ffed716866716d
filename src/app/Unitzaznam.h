#pragma once
// "Záznam": The record window: reads out the controller's record and exports it.
#include <QDialog>

namespace Ui { class TFormZaznam; }

class TFormZaznam : public QDialog {
    Q_OBJECT
public:
    explicit TFormZaznam(QWidget* parent = nullptr);
    ~TFormZaznam() override;

private:
    Ui::TFormZaznam* ui;
};
