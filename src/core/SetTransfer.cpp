#include "SetTransfer.h"

#include "PageBindings.h"
#include "Programs.h"
#include "TableCodec.h"
#include "Telegram.h"

namespace kv10::core {

namespace {

using editor::PageIndices;

using BlockTransfer = bool (TelegramLink::*)(int kind, int program, int table);

// The pages ALARM 1 to GO, or to ADD without programs.
int lastPage(int variant)
{
    return editor::hasPrograms(variant) ? PageIndices::PageGo : PageIndices::PageAdd;
}

bool transferBlock(Sequence& sequence, BlockTransfer transfer, int kind, int program)
{
    return sequence.exchange(blockName(kind, program), [&] {
        return (sequence.link().*transfer)(kind, program, blockTable(kind));
    });
}

// The start values of all programs, then each program's segments, 100 ms before every block
// after the first.
void transferPrograms(Sequence& sequence, BlockTransfer transfer)
{
    transferBlock(sequence, transfer, BlockStartValues, 0);
    for (int program = 0; program < ProgramCount; ++program) {
        sequence.pause(BlockPauseMs);
        transferBlock(sequence, transfer, BlockSegmentSetpoints, program);
        sequence.pause(BlockPauseMs);
        transferBlock(sequence, transfer, BlockSegmentTimes, program);
    }
}

} // namespace

bool writeTableFollowingAddress(Sequence& sequence, int table)
{
    TelegramLink& link = sequence.link();
    const bool written = sequence.writeTable(table);
    if (written && table == TableAdd)
        link.SetDA(link.image().add.adresa);
    return written;
}

SequenceResult readSet(Sequence& sequence, int variant)
{
    sequence.endAtFirstFailure();
    TelegramLink& link = sequence.link();
    const bool programs = editor::hasPrograms(variant);
    // The program type and number the COMP page shows.
    if (programs)
        sequence.readTable(TableProg);
    const int first = programs ? PageIndices::PageAlarm1 : PageIndices::PageComp;
    for (int page = first; page <= lastPage(variant); ++page) {
        sequence.pause(TablePauseMs);
        const int table = editor::transferTable(page, variant);
        sequence.readTable(table);
    }
    if (programs) {
        sequence.pause(BlockPauseMs);
        transferPrograms(sequence, &TelegramLink::ReadProgramBlock);
    }
    return sequence.finish();
}

SequenceResult writeSet(Sequence& sequence, int variant)
{
    sequence.endAtFirstFailure();
    const bool programs = editor::hasPrograms(variant);
    for (int page = PageIndices::PageAlarm1; page <= lastPage(variant); ++page) {
        if (page > PageIndices::PageAlarm1)
            sequence.pause(TablePauseMs);
        writeTableFollowingAddress(sequence, editor::transferTable(page, variant));
    }
    if (programs) {
        sequence.pause(BlockPauseMs);
        transferPrograms(sequence, &TelegramLink::WriteProgramBlock);
    } else {
        sequence.pause(TablePauseMs);
        sequence.writeTable(TableComp);
    }
    return sequence.finish();
}

} // namespace kv10::core
