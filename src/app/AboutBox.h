#pragma once
// "O aplikaci": product, maker, version and the minimum system requirements.
#include <QDialog>

namespace Ui { class AboutBox; }

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);
    ~AboutBox() override;

    // The file version built into the program ("1.1.0.0"); empty when none was.
    static QString fileVersion();

    // Shown centred on the screen, not over the main window.
    void setVisible(bool visible) override;

private:
    void FormCreate();

    Ui::AboutBox* ui;
};
