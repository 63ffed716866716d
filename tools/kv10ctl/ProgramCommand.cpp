// program read and program write: all three blocks of a program, whatever PROG says.
#include "Programs.h"
#include "Tool.h"

#include <QTextStream>

#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace kv10::ctl {

namespace {

QString programKey(const char* prefix, int segment)
{
    return QString::fromLatin1(prefix) + QString::number(segment);
}

} // namespace

bool Tool::readWholeProgram(int program)
{
    const auto read = runSequence(core::ImageUse::Whole, [program](core::Sequence& reading) {
        return core::readProgram(reading, core::ProgramRamp, program);
    });
    return read && read->ok;
}

int Tool::program(const QStringList& args)
{
    const std::optional<int> number = args.size() == 2 ? parseInt(args[1], 0, ProgramCount - 1) : std::nullopt;
    if (!number || (args[0] != "read" && args[0] != "write"))
        return usageError(QStringLiteral("use: program read P | program write P, with P 0-9"));
    const int p = *number;
    if (args[0] == "write") {
        // Every line must parse before the controller is read or written.
        std::vector<std::pair<QString, double>> changes;
        QTextStream input(stdin);
        for (QString line; input.readLineInto(&line);) {
            line = line.trimmed();
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            const int equals = line.indexOf('=');
            const QString key = line.left(equals).trimmed().toUpper();
            const bool isTime = key.startsWith("TI");
            const auto value = equals > 0 ? parseNumber(line.mid(equals + 1), isTime ? FieldType::Int16 : FieldType::Float)
                                          : std::nullopt;
            bool known = key == "START";
            for (int s = 0; s < SegmentCount && !known; ++s)
                known = key == programKey("SP", s) || key == programKey("TI", s);
            if (!known || !value)
                return usageError(QStringLiteral("bad line \"%1\"").arg(line));
            changes.emplace_back(key, *value);
        }
        if (!readWholeProgram(p))
            return exchangeFailed(QStringLiteral("reading program %1 failed").arg(p));
        for (const auto& [key, value] : changes) {
            if (key == "START")
                m_image.startValue[p] = float(value);
            else if (key.startsWith("SP"))
                m_image.segmentSetpoint[p][key.mid(2).toInt()] = float(value);
            else
                m_image.segmentTime[p][key.mid(2).toInt()] = int32_t(value);
        }
        const auto written = runSequence(core::ImageUse::Whole, [p](core::Sequence& writing) {
            return core::writeProgramBlocks(writing, core::ProgramRamp, p);
        });
        if (!written || !written->ok)
            return exchangeFailed(QStringLiteral("writing program %1 failed").arg(p));
    } else if (!readWholeProgram(p)) {
        return exchangeFailed(QStringLiteral("reading program %1 failed").arg(p));
    }
    out() << "START=" << formatNumber(m_image.startValue[p], FieldType::Float) << Qt::endl;
    for (int s = 0; s < SegmentCount; ++s)
        out() << programKey("SP", s) << '=' << formatNumber(m_image.segmentSetpoint[p][s], FieldType::Float) << Qt::endl;
    for (int s = 0; s < SegmentCount; ++s)
        out() << programKey("TI", s) << '=' << m_image.segmentTime[p][s] << Qt::endl;
    return ExitOk;
}

} // namespace kv10::ctl
