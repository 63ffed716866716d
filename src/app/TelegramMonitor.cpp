#include "TelegramMonitor.h"
#include "ui_TelegramMonitor.h"

#include "AppError.h"
#include "AtomicFile.h"
#include "ErrorBox.h"
#include "Prompts.h"
#include "TraceHub.h"
#include "Timing.h"

#include <QDateTime>
#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>

using namespace kv10;

namespace {

constexpr int MeaningWidth = 40;   // keeps the bytes of most lines in one column

QString arrow(TraceKind kind)
{
    return kind == TraceKind::Sent ? QStringLiteral("→") : QStringLiteral("←");
}

} // namespace

TelegramMonitor::TelegramMonitor(TraceHub& traces, Clock& clock, Prompts& prompts, QWidget* parent)
    : QDialog(parent), ui(new Ui::TelegramMonitor), m_traces(traces), m_clock(clock), m_prompts(prompts)
{
    ui->setupUi(this);
    // The view keeps the newest lines itself: the oldest block drops as a new one comes.
    ui->lv_telegramy->setMaximumBlockCount(LineLimit);
    ui->lv_telegramy->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(0);
    connect(&m_flushTimer, &QTimer::timeout, this, &TelegramMonitor::flush);
    connect(ui->tl_pauza, &QPushButton::clicked, this, &TelegramMonitor::tl_pauzaClick);
    connect(ui->tl_smazat, &QPushButton::clicked, this, &TelegramMonitor::tl_smazatClick);
    connect(ui->tl_export, &QPushButton::clicked, this, &TelegramMonitor::tl_exportClick);
    showLineCount();
}

TelegramMonitor::~TelegramMonitor()
{
    // A window destroyed while shown gets no hide event. Once out of the hub it is told
    // nothing more; what is on its way to this thread goes with the window.
    m_traces.remove(this);
    delete ui;
}

void TelegramMonitor::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    updateTrace();
}

void TelegramMonitor::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    updateTrace();
}

void TelegramMonitor::updateTrace()
{
    if (isVisible() && !ui->tl_pauza->isChecked()) {
        if (!m_traces.contains(this)) {
            m_traces.add(this);
            m_anchored = false;   // the clock may have been set meanwhile
        }
    } else {
        m_traces.remove(this);
    }
}

void TelegramMonitor::traced(const TraceEvent& event)
{
    // Queued calls to one receiver keep their order; on this thread it is kept at once.
    QMetaObject::invokeMethod(this, [this, event] { keep(event); }, Qt::AutoConnection);
}

void TelegramMonitor::keep(const TraceEvent& event)
{
    if (!m_anchored) {
        m_anchorEpochMs = m_clock.now().toMSecsSinceEpoch();
        m_anchorMs = event.atMs;
        m_anchored = true;
    }
    // Only kept here: the lines are made and shown once the exchange is over, and one append
    // of many lines costs the view about what one line does.
    m_pending.append({event, m_lastRequest, m_anchorEpochMs + event.atMs - m_anchorMs});
    if (event.kind == TraceKind::Sent)
        m_lastRequest = event.bytes;
    if (m_pending.size() > LineLimit)
        m_pending.removeFirst();
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void TelegramMonitor::flush()
{
    if (m_pending.isEmpty())
        return;
    QStringList lines;
    for (const Pending& pending : std::as_const(m_pending)) {
        const TraceEvent& event = pending.event;
        const QString meaning = traceMeaning(event, pending.request);
        QString line = QDateTime::fromMSecsSinceEpoch(pending.stampMs).toString(QStringLiteral("HH:mm:ss.zzz"))
                       + QStringLiteral("  ") + arrow(event.kind) + QStringLiteral("  ");
        if (event.bytes.isEmpty())
            line += meaning;
        else
            line += meaning.leftJustified(MeaningWidth) + QStringLiteral("  ")
                    + hexText(event.bytes);
        lines << line;
    }
    m_pending.clear();
    // Follows the newest line unless the user has scrolled back to read.
    QScrollBar* bar = ui->lv_telegramy->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    ui->lv_telegramy->appendPlainText(lines.join(QLatin1Char('\n')));
    if (atEnd)
        bar->setValue(bar->maximum());
    showLineCount();
}

QStringList TelegramMonitor::lines()
{
    flush();
    QStringList out;
    for (QTextBlock block = ui->lv_telegramy->document()->firstBlock(); block.isValid(); block = block.next())
        out << block.text();
    // An empty document still has its one empty block.
    return out == QStringList{QString()} ? QStringList() : out;
}

void TelegramMonitor::showLineCount()
{
    const int count = ui->lv_telegramy->document()->isEmpty() ? 0 : ui->lv_telegramy->blockCount();
    ui->lb_radky->setText(QStringLiteral("Řádků: %1 z %2").arg(count).arg(LineLimit));
}

void TelegramMonitor::tl_pauzaClick()
{
    ui->tl_pauza->setText(ui->tl_pauza->isChecked() ? QStringLiteral("&Pokračovat") : QStringLiteral("&Pozastavit"));
    updateTrace();
}

void TelegramMonitor::tl_smazatClick()
{
    m_pending.clear();
    ui->lv_telegramy->clear();
    showLineCount();
}

void TelegramMonitor::tl_exportClick()
{
    const QString path = m_prompts.saveFile(
        FileDialogRequest::saveText(QString(), QStringLiteral("Telegramy KORVIN10"), this));
    if (path.isEmpty())
        return;
    QByteArray text;
    for (const QString& line : lines())
        text += line.toUtf8() + "\r\n";
    try {
        writeFileAtomically(path, text);
    } catch (const AppError& error) {
        showErrorBox(m_prompts, error.text());
    }
}
