#pragma once
// The text log of live samples and the file it goes to. The buffer starts with its header at
// each new log and gains one line per sample; the whole buffer is written to the log file on
// "Uložit...", at each file period and at the end. The file name is the one last confirmed in
// the save dialog, or the initial name when none was.
//
// A log the file already holds is the user's: a new log then stays in memory, and periodic
// writes leave the file alone, until a name is confirmed for the new one.
#include "LogBuffer.h"

#include <QString>
#include <functional>
#include <utility>

class QObject;

namespace kv10 {

class Clock;
class Prompts;

class LogSession {
public:
    static const QString InitialFileName;
    static const QString OnlyInMemoryText;

    // What the window shows of the session: the path panel, and the check mark that says a
    // file name was confirmed.
    struct View {
        std::function<void(const QString&)> showPath;
        std::function<void(bool)> showFileChosen;
    };

    LogSession(Clock& clock, Prompts& prompts);
    void setView(View view) { m_view = std::move(view); }

    LogBuffer& buffer() { return m_buffer; }
    const LogBuffer& buffer() const { return m_buffer; }
    QString fileName() const { return m_fileName; }
    bool fileChosen() const { return m_fileChosen; }
    bool onlyInMemory() const { return m_onlyInMemory; }

    // Clears the buffer and writes its header, dated by the clock.
    void startNew();
    // One data line from the texts the display shows, timed by the clock.
    void appendSample(const QString& measure, const QString& setpoint, const QString& output, const QString& fault);

    // "Uložit...": writes to the log file once a name was confirmed for this log; otherwise
    // asks for one ("Uložit jako"), and a cancel writes nothing. Throws AppError when the
    // file cannot be written; the name shown and the check mark then stay as they were.
    void save(QObject* owner);
    // "Uložit jako...": always asks, and from now on asks before replacing a file.
    void saveAs(QObject* owner);
    // The file period is up: writes the buffer unless the log is only in memory. Nobody asked
    // for this write, so a failure is shown in the error box and the poll goes on.
    void writePeriodically();

private:
    void write(const QString& path);
    void setFileChosen(bool chosen);

    Clock& m_clock;
    Prompts& m_prompts;
    View m_view;
    LogBuffer m_buffer;
    QString m_fileName = InitialFileName;
    bool m_fileChosen = false;        // a name was confirmed (the check mark of "Nový soubor")
    bool m_confirmOverwrite = false;  // on from the first save-as
    bool m_fileHasLog = false;        // a log was written to m_fileName in this run
    bool m_onlyInMemory = false;
};

} // namespace kv10
