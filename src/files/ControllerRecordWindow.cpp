#include "ControllerRecordWindow.h"
#include "ui_ControllerRecordWindow.h"

#include "AppError.h"
#include "CodePage.h"
#include "ErrorBox.h"
#include "Prompts.h"
#include "RecordReadout.h"
#include "Sequence.h"
#include "TableCodec.h"
#include "Telegram.h"

#include <QDir>
#include <algorithm>

using namespace kv10;

namespace {

// Whole minutes and hours up to days, so that the time axis reads in round figures.
const std::vector<double> TimeAxisSteps = {1, 2, 5, 10, 15, 30, 60, 120, 180, 360, 720, 1440, 2880, 7200, 14400};

} // namespace

ControllerRecordWindow::ControllerRecordWindow(TelegramLink& link, Prompts& prompts, QWidget* parent)
    : QDialog(parent), ui(new Ui::ControllerRecordWindow), m_link(link), m_prompts(prompts)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    connect(ui->tl_cteni, &QPushButton::clicked, this, &ControllerRecordWindow::tl_cteniClick);
    connect(ui->tl_ulozit, &QPushButton::clicked, this, &ControllerRecordWindow::tl_ulozitClick);
    connect(ui->tl_cancel, &QPushButton::clicked, this, &QDialog::reject);
    ui->tl_cteni->setFocus();

    TrendChart& chart = *ui->Chart1;
    chart.setLegendVisible(false);
    chart.setView3D(false);
    chart.setBackWallColour(Qt::white);
    chart.setXAxisSteps(TimeAxisSteps);
    // The newest sample's label "0:00" stands at the plot's right end.
    chart.setRightMargin(chart.fontMetrics().horizontalAdvance(minutesBeforeText(0)) / 2);
}

ControllerRecordWindow::~ControllerRecordWindow()
{
    delete ui;
}

void ControllerRecordWindow::tl_cteniClick()
{
    ui->bargraf->setValue(0);
    ui->bargraf->setVisible(true);
    core::Steering steering;
    steering.progress = [this](const core::Progress& step) {
        ui->bargraf->setValue(step.position);
        // No events are handled until the read-out ends: paint the bar now.
        ui->bargraf->repaint();
    };
    core::Sequence sequence(m_link, m_link.waiter(), std::move(steering));
    core::RecordReadout readout;
    const core::SequenceResult result = core::readRecord(sequence, readout, [this] {
        m_prompts.message(QStringLiteral("Chyba při čtení záznamu"), QStringLiteral("Komunikace"), PromptIcon::Error,
                          PromptButton::Ok, nullptr);
    });
    showNotice(m_prompts, result.notice);
    showRecord(readout.newestFirst);
    ui->bargraf->setVisible(false);
}

void ControllerRecordWindow::showRecord(const std::vector<float>& samples)
{
    const ControllerImage& image = m_link.image();
    ui->ListBox->clear();
    ui->ListBox->addItems(recordLines(samples, image.add.zaznam, QDateTime::currentDateTime()));

    // Oldest at the left, the newest at 0, in minutes before the read-out.
    const double step = std::max(image.add.zaznam, 1) / 60.0;
    std::vector<float> oldestFirst(samples.rbegin(), samples.rend());
    TrendChart& chart = *ui->Chart1;
    chart.setSeries(oldestFirst);
    chart.setXAxis(-step * double(samples.size() - 1), step, &minutesBeforeText);
}

void ControllerRecordWindow::tl_ulozitClick()
{
    const QString path = m_prompts.saveFile(FileDialogRequest::saveText(
        QStringLiteral("Uložit soubor jako"), QStringLiteral("Záznam z regulátoru"), this));
    if (path.isEmpty())
        return;
    QStringList lines;
    for (int row = 0; row < ui->ListBox->count(); ++row)
        lines << ui->ListBox->item(row)->text();
    try {
        writeWindows1250Lines(path, lines);
    } catch (const AppError&) {
        showErrorBox(m_prompts, QStringLiteral("Cannot create file %1").arg(QDir::toNativeSeparators(path)));
    }
}
