#include "SetTransfer.h"

#include "PageBindings.h"
#include "TableCodec.h"
#include "Telegram.h"
#include "Timing.h"

#include <cstring>

namespace kv10::sets {

namespace {

using editor::PageIndices;

constexpr int TableWaitMs = 10;
constexpr int BlockWaitMs = 100;

constexpr const char* FirmwareVersions[] = {"FW-R-09-01", "FW-R-09-02", "FW-R-09-03"};
constexpr size_t FirmwareVersionLength = 10;

// Kind 0 holds the start values of every program, kinds 1 and 2 one program's segments.
enum BlockKind { StartValues = 0, SegmentSetpoints = 1, SegmentTimes = 2 };

using BlockTransfer = bool (TelegramLink::*)(int kind, int program, int table);

QString tableName(int table)
{
    return QString::fromLatin1(tableInfo(table).name);
}

// The pages ALARM 1 to GO, or to ADD without programs.
int lastPage(int variant)
{
    return editor::hasPrograms(variant) ? PageIndices::PageGo : PageIndices::PageAdd;
}

std::optional<QString> transferPrograms(TelegramLink& link, Waiter& waiter, BlockTransfer transfer)
{
    if (!(link.*transfer)(StartValues, 0, TableComp))
        return QStringLiteral("program start values");
    for (int program = 0; program < ProgramCount; ++program) {
        waiter.waitMs(BlockWaitMs);
        if (!(link.*transfer)(SegmentSetpoints, program, TableSegsp))
            return QStringLiteral("program %1 setpoints").arg(program);
        waiter.waitMs(BlockWaitMs);
        if (!(link.*transfer)(SegmentTimes, program, TableSegti))
            return QStringLiteral("program %1 times").arg(program);
    }
    return std::nullopt;
}

} // namespace

int firmwareVariantOf(const char* versionText)
{
    for (int variant = 1; variant <= 3; ++variant)
        if (std::strncmp(versionText, FirmwareVersions[variant - 1], FirmwareVersionLength) == 0)
            return variant;
    return 0;
}

int identifyFirmware(TelegramLink& link, Waiter& waiter)
{
    link.ReadTable(TableErro);
    waiter.waitMs(TableWaitMs);
    link.ReadDeviceType();
    waiter.waitMs(TableWaitMs);
    if (!link.ReadDeviceVersion())
        return 0;
    return firmwareVariantOf(link.image().deviceVersionText.data());
}

std::optional<QString> readSet(TelegramLink& link, Waiter& waiter, int variant)
{
    // The program type and number the COMP page shows.
    if (editor::hasPrograms(variant) && !link.ReadTable(TableProg))
        return tableName(TableProg);
    const int first = editor::hasPrograms(variant) ? PageIndices::PageAlarm1 : PageIndices::PageComp;
    for (int page = first; page <= lastPage(variant); ++page) {
        waiter.waitMs(TableWaitMs);
        const int table = editor::transferTable(page, variant);
        if (!link.ReadTable(table))
            return tableName(table);
    }
    if (!editor::hasPrograms(variant))
        return std::nullopt;
    waiter.waitMs(BlockWaitMs);
    return transferPrograms(link, waiter, &TelegramLink::ReadProgramBlock);
}

std::optional<QString> writeSet(TelegramLink& link, Waiter& waiter, int variant)
{
    for (int page = PageIndices::PageAlarm1; page <= lastPage(variant); ++page) {
        if (page > PageIndices::PageAlarm1)
            waiter.waitMs(TableWaitMs);
        const int table = editor::transferTable(page, variant);
        if (!link.WriteTable(table))
            return tableName(table);
        // The following telegrams go to the controller's new address.
        if (table == TableAdd)
            link.SetDA(link.image().add.adresa);
    }
    waiter.waitMs(editor::hasPrograms(variant) ? BlockWaitMs : TableWaitMs);
    if (!editor::hasPrograms(variant))
        return link.WriteTable(TableComp) ? std::nullopt : std::optional<QString>(tableName(TableComp));
    return transferPrograms(link, waiter, &TelegramLink::WriteProgramBlock);
}

} // namespace kv10::sets
