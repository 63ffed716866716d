#include "LogSession.h"

#include "AppError.h"
#include "ErrorBox.h"
#include "Prompts.h"
#include "Timing.h"

#include <QDir>
#include <QFileInfo>

namespace kv10 {

const QString LogSession::InitialFileName = QStringLiteral("Záznam KORVIN10");
const QString LogSession::OnlyInMemoryText = QStringLiteral("jen v paměti, soubor nezvolen");

LogSession::LogSession(Clock& clock, Prompts& prompts) : m_clock(clock), m_prompts(prompts)
{
}

void LogSession::startNew()
{
    m_buffer.startNewLog(m_clock.now());
    // The file holds the log just ended: the new one must not replace it before the user
    // has confirmed a name for it.
    m_onlyInMemory = m_fileHasLog;
    if (m_onlyInMemory && m_view.showPath)
        m_view.showPath(OnlyInMemoryText);
}

void LogSession::appendSample(const QString& measure, const QString& setpoint, const QString& output,
                              const QString& fault)
{
    m_buffer.appendDataLine(measure, setpoint, output, fault, m_clock.now());
}

void LogSession::write(const QString& path)
{
    m_buffer.writeToFile(path);
    m_fileHasLog = true;
}

void LogSession::setFileChosen(bool chosen)
{
    m_fileChosen = chosen;
    if (m_view.showFileChosen)
        m_view.showFileChosen(chosen);
}

void LogSession::save(QObject* owner)
{
    if (m_fileChosen && !m_onlyInMemory) {
        write(m_fileName);
        return;
    }
    FileDialogRequest request = FileDialogRequest::saveText(QStringLiteral("Uložit jako"), m_fileName, owner);
    // A name offered while the log is only in memory is that of the previous log's file.
    request.confirmOverwrite = m_confirmOverwrite || m_onlyInMemory;
    const QString chosen = m_prompts.saveFile(request);
    if (chosen.isEmpty())
        return;
    // The confirmed name is the log file's name from now on, periodic writes included; a
    // failed write throws before the path panel and the check mark change.
    m_fileName = chosen;
    m_onlyInMemory = false;
    m_fileHasLog = false;
    write(chosen);
    if (m_view.showPath)
        m_view.showPath(QDir::toNativeSeparators(QFileInfo(chosen).absoluteFilePath()));
    setFileChosen(true);
}

void LogSession::saveAs(QObject* owner)
{
    setFileChosen(false);
    m_confirmOverwrite = true;
    save(owner);
}

void LogSession::writePeriodically()
{
    if (m_onlyInMemory)
        return;
    try {
        write(m_fileName);
    } catch (const AppError& error) {
        showErrorBox(m_prompts, error.text());
    }
}

} // namespace kv10
