#include "ControllerRecordWindow.h"
#include "ui_ControllerRecordWindow.h"

#include "AppError.h"
#include "CodePage.h"
#include "ErrorBox.h"
#include "Prompts.h"
#include "RecordReadout.h"
#include "Sequence.h"
#include "SequenceJob.h"
#include "TableCodec.h"

#include <QDir>
#include <algorithm>
#include <exception>
#include <optional>

using namespace kv10;

namespace {

// Whole minutes and hours up to days, so that the time axis reads in round figures.
const std::vector<double> TimeAxisSteps = {1, 2, 5, 10, 15, 30, 60, 120, 180, 360, 720, 1440, 2880, 7200, 14400};

// What the list says in place of a read-out that was stopped.
const QString StoppedText = QStringLiteral("Čtení záznamu přerušeno.");

// A read-out as it comes back from the session.
struct Readout {
    core::RecordReadout record;
    core::SequenceResult result;
    std::optional<QString> error;   // what it threw
};

} // namespace

ControllerRecordWindow::ControllerRecordWindow(SessionRunner& runner, ControllerImage& image, Prompts& prompts,
                                               QWidget* parent)
    : QDialog(parent), ui(new Ui::ControllerRecordWindow), m_runner(runner), m_image(image), m_prompts(prompts)
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
    if (m_stop)
        m_stop->request();
    delete ui;
}

void ControllerRecordWindow::tl_cteniClick()
{
    if (m_reading)
        return;
    // The list is about to be replaced; until then it shows no record of another read-out.
    clearRecord();
    ui->tl_cteni->setEnabled(false);
    ui->tl_ulozit->setEnabled(false);
    ui->bargraf->setValue(0);
    ui->bargraf->setVisible(true);
    m_reading = true;
    const StopHandle stop = core::postSequence(
        m_runner, this, m_image, core::ImageUse::Whole,
        [](core::Sequence& sequence) {
            Readout readout;
            try {
                readout.result = core::readRecord(sequence, readout.record);
            } catch (const std::exception& error) {
                readout.error = exceptionText(error);
            }
            return readout;
        },
        [this](const core::Progress& step) { ui->bargraf->setValue(step.position); },
        [this](const Readout& readout) {
            m_reading = false;
            m_stop.reset();
            ui->bargraf->setVisible(false);
            ui->tl_cteni->setEnabled(true);
            ui->tl_ulozit->setEnabled(true);
            if (readout.error) {
                showErrorBox(m_prompts, *readout.error);
                return;
            }
            if (readout.result.stopped) {
                showStopped();
                return;
            }
            // Once for the whole read-out, however many blocks failed; the list is built all the same.
            if (readout.record.failedBlocks > 0)
                m_prompts.message(QStringLiteral("Chyba při čtení záznamu"), QStringLiteral("Komunikace"),
                                  PromptIcon::Error, PromptButton::Ok, nullptr);
            showNotice(m_prompts, readout.result.notice);
            showRecord(readout.record.newestFirst);
        });
    // Inline, the read-out has ended already.
    if (m_reading)
        m_stop = stop;
}

void ControllerRecordWindow::done(int result)
{
    // Closing stops the read-out: it sends nothing after the exchange under way.
    if (m_stop)
        m_stop->request();
    QDialog::done(result);
}

void ControllerRecordWindow::clearRecord()
{
    ui->ListBox->clear();
    ui->Chart1->clear();
}

void ControllerRecordWindow::showStopped()
{
    clearRecord();
    ui->ListBox->addItem(StoppedText);
    // Only a whole read-out is exported.
    ui->tl_ulozit->setEnabled(false);
}

void ControllerRecordWindow::showRecord(const std::vector<float>& samples)
{
    ui->ListBox->clear();
    ui->ListBox->addItems(recordLines(samples, m_image.add.zaznam, QDateTime::currentDateTime()));

    // Oldest at the left, the newest at 0, in minutes before the read-out.
    const double step = std::max(m_image.add.zaznam, 1) / 60.0;
    std::vector<float> oldestFirst(samples.rbegin(), samples.rend());
    TrendChart& chart = *ui->Chart1;
    chart.setSeries(oldestFirst);
    chart.setXAxis(-step * double(samples.size() - 1), step, &minutesBeforeText);
}

void ControllerRecordWindow::tl_ulozitClick()
{
    if (!ui->tl_ulozit->isEnabled())
        return;
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
