#pragma once
// "Záznam": The record window: reads out the controller's record and exports it.
#include <QDialog>

namespace Ui { class ControllerRecordWindow; }

class ControllerRecordWindow : public QDialog {
    Q_OBJECT
public:
    explicit ControllerRecordWindow(QWidget* parent = nullptr);
    ~ControllerRecordWindow() override;

private:
    Ui::ControllerRecordWindow* ui;
};
