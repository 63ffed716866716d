#include "ParameterReadout.h"

#include "PageBindings.h"
#include "Programs.h"
#include "TableCodec.h"
#include "Telegram.h"

#include <algorithm>

namespace kv10::core {

namespace {

using editor::PageIndices;

constexpr int FullBar = 100;
constexpr int TableStepWithoutPrograms = 8;
constexpr int TableStepWithPrograms = 7;

} // namespace

std::vector<int> readoutTables(int variant)
{
    std::vector<int> tables;
    if (variant == 1) {
        for (int table = TableComp; table <= TableAdd; ++table)
            tables.push_back(table);
    } else if (editor::hasPrograms(variant)) {
        const int last = editor::hasClock(variant) ? PageIndices::PageTime : PageIndices::PageGo;
        for (int page = PageIndices::PageAlarm1; page <= last; ++page)
            tables.push_back(editor::pageTable(page));
    }
    return tables;
}

SequenceResult readParameters(Sequence& sequence, Identification& found)
{
    identify(sequence, found, ForeignDevice::NotAsked);
    if (found.variant == 0)
        return sequence.finish();
    if (editor::hasPrograms(found.variant)) {
        // The program the controller runs, as PROG names it.
        sequence.readTable(TableProg);
        const ProgTable prog = sequence.image().prog;
        readProgram(sequence, prog.prog, prog.c_pr);
    }
    const int step = found.variant == 1 ? TableStepWithoutPrograms : TableStepWithPrograms;
    int position = IdentifiedProgress;
    const auto advance = [&] {
        position = std::min(FullBar, position + step);
        return Progress{position, std::nullopt};
    };
    const std::vector<int> tables = readoutTables(found.variant);
    sequence.report(advance());
    for (size_t i = 0; i < tables.size(); ++i) {
        sequence.readTable(tables[i]);
        // The next step is shown within the pause after a read.
        if (i + 1 < tables.size())
            sequence.pause(TablePauseMs, advance());
        else
            sequence.pause(TablePauseMs);
    }
    return sequence.finish();
}

} // namespace kv10::core
