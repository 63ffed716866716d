// record: the controller's record, newest sample first.
#include "StopSignals.h"
#include "Tool.h"

namespace kv10::ctl {

int Tool::record()
{
    if (!m_link.ReadTable(TableAdd) || !m_link.ReadTable(TableRecd))
        return exchangeFailed(QStringLiteral("reading the record position failed"));
    const int newest = m_image.recd.pos;
    int failedBlocks = 0;
    {
        const StopDeferral deferral;
        for (int block = 0; block < RecordBlockCount && !stopRequested(); ++block)
            failedBlocks += m_link.ReadRecordBlock(block) ? 0 : 1;
    }
    if (stopRequested())
        return interrupted();
    if (failedBlocks > 0)
        return exchangeFailed(QStringLiteral("%1 record blocks failed").arg(failedBlocks));
    if (!m_link.ReadTable(TableRecd))
        return exchangeFailed(QStringLiteral("reading the record position failed"));
    // The read takes about ten seconds. Samples taken meanwhile went to the positions after
    // `newest`, over the oldest ones, which would otherwise be listed as the oldest values.
    const int takenMeanwhile = (m_image.recd.pos - newest + RecordValueCount) % RecordValueCount;
    const int count = RecordValueCount - takenMeanwhile;
    out() << "POS=" << newest << Qt::endl;
    out() << "ZAZNAM=" << m_image.add.zaznam << Qt::endl;
    out() << "COUNT=" << count << Qt::endl;
    for (int n = 0; n < count; ++n) {
        const int position = (newest - n + RecordValueCount) % RecordValueCount;
        out() << n + 1 << '=' << formatNumber(m_image.recordValues[position], FieldType::Float) << Qt::endl;
    }
    return ExitOk;
}

} // namespace kv10::ctl
