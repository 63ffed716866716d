#include "Programs.h"

#include "TableCodec.h"
#include "Telegram.h"

namespace kv10::core {

namespace {

constexpr int CommandRunning = 100;   // the editor's bar while a program is written

bool isProgramNumber(int program)
{
    return program >= 0 && program < ProgramCount;
}

bool readBlock(Sequence& sequence, int kind, int program)
{
    return sequence.exchange(blockName(kind, program), [&] {
        return sequence.link().ReadProgramBlock(kind, program, blockTable(kind));
    });
}

bool writeBlock(Sequence& sequence, int kind, int program)
{
    return sequence.exchange(blockName(kind, program), [&] {
        return sequence.link().WriteProgramBlock(kind, program, blockTable(kind));
    });
}

} // namespace

int blockTable(int kind)
{
    switch (kind) {
    case BlockStartValues: return TableComp;
    case BlockSegmentSetpoints: return TableSegsp;
    default: return TableSegti;
    }
}

QString blockName(int kind, int program)
{
    switch (kind) {
    case BlockStartValues: return QStringLiteral("program start values");
    case BlockSegmentSetpoints: return QStringLiteral("program %1 setpoints").arg(program);
    default: return QStringLiteral("program %1 times").arg(program);
    }
}

SequenceResult readProgram(Sequence& sequence, int type, int program)
{
    if (!isProgramNumber(program)) {
        sequence.fail(QStringLiteral("program %1").arg(program));
        return sequence.finish();
    }
    readBlock(sequence, BlockStartValues, program);
    if (type != ProgramSp) {
        sequence.pause(BlockPauseMs);
        readBlock(sequence, BlockSegmentSetpoints, program);
        sequence.pause(BlockPauseMs);
        readBlock(sequence, BlockSegmentTimes, program);
    }
    return sequence.finish();
}

SequenceResult writeProgramBlocks(Sequence& sequence, int type, int program)
{
    if (!isProgramNumber(program)) {
        sequence.fail(QStringLiteral("program %1").arg(program));
        return sequence.finish();
    }
    if (type == ProgramSp || type == ProgramRamp)
        writeBlock(sequence, BlockStartValues, program);
    if (type == ProgramSp)
        return sequence.finish();
    if (type == ProgramRamp)
        sequence.pause(BlockPauseMs);
    writeBlock(sequence, BlockSegmentSetpoints, program);
    sequence.pause(BlockPauseMs, {CommandRunning, std::nullopt});
    writeBlock(sequence, BlockSegmentTimes, program);
    return sequence.finish();
}

SequenceResult writeProgram(Sequence& sequence)
{
    const ProgTable prog = sequence.image().prog;
    // A program number that is none of the ten is not sent: the controller would take it.
    if (!isProgramNumber(prog.c_pr)) {
        sequence.fail(QStringLiteral("program %1").arg(prog.c_pr));
        return sequence.finish();
    }
    sequence.exchange(QStringLiteral("PROG"), [&] { return sequence.link().WriteTable(TableProg); });
    sequence.pause(BlockPauseMs, {CommandRunning, std::nullopt});
    return writeProgramBlocks(sequence, prog.prog, prog.c_pr);
}

} // namespace kv10::core
