#pragma once
// A line's answer statistics per station, counted from the telegram trace on the line's thread
// and taken, with a fresh start, by the gateway once a minute from its own thread.
#include "Sample.h"
#include "TelegramTrace.h"

#include <QString>
#include <map>
#include <mutex>
#include <vector>

namespace kv10::gw {

class LineStats : public TelegramTrace {
public:
    LineStats(QString line, std::vector<int> stations);

    // On the line's thread, before each exchange: the station the next frames belong to.
    void setStation(int station);
    // Late answers the link threw away; they belong to the station asked before.
    void addLateAnswers(int station, int count);
    void traced(const TraceEvent& event) override;

    // Every station's figures since the last take, stamped `time`; the counts start again.
    std::vector<StationStats> take(const QDateTime& time);

private:
    struct Counts {
        int requests = 0;
        int answers = 0;
        int timeouts = 0;
        int checksumErrors = 0;
        int lateAnswersDropped = 0;
        std::vector<qint64> answerMs;
    };

    QString m_line;
    std::mutex m_mutex;
    std::map<int, Counts> m_counts;   // every configured station, also those never asked
    int m_station = -1;
    qint64 m_sentAtMs = -1;           // the last request of the station, until its answer
};

} // namespace kv10::gw
