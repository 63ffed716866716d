// record: the controller's record, newest sample first.
#include "RecordReadout.h"
#include "StopSignals.h"
#include "Tool.h"

namespace kv10::ctl {

int Tool::record()
{
    core::RecordReadout readout;
    core::SequenceResult result;
    {
        // Ctrl-C ends the read between two exchanges; the port is closed as usual.
        const StopDeferral deferral;
        const StopHandle stop = std::make_shared<StopRequest>();
        const JobStopOnSignal onSignal(stop);
        const auto read = runSequence(
            core::ImageUse::Whole, [&readout](core::Sequence& reading) { return core::readRecord(reading, readout); }, stop);
        if (!read)
            return ExitFailed;
        result = *read;
    }
    if (result.stopped)
        return interrupted();
    const bool positionFailed = result.failed == QLatin1String("ADD") || result.failed == QLatin1String("RECD");
    if (readout.failedBlocks > 0 && !positionFailed)
        return exchangeFailed(QStringLiteral("%1 record blocks failed").arg(readout.failedBlocks));
    if (!result.ok)
        return exchangeFailed(QStringLiteral("reading the record position failed"));
    // Samples taken during the read went over the oldest ones, which are left out.
    out() << "POS=" << readout.before << Qt::endl;
    out() << "ZAZNAM=" << m_image.add.zaznam << Qt::endl;
    out() << "COUNT=" << readout.newestFirst.size() << Qt::endl;
    for (size_t n = 0; n < readout.newestFirst.size(); ++n)
        out() << n + 1 << '=' << formatNumber(readout.newestFirst[n], FieldType::Float) << Qt::endl;
    return ExitOk;
}

} // namespace kv10::ctl
