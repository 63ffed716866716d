#pragma once
// What the main window's menus open elsewhere in the program. Whoever assembles the program
// provides it, so the main window knows none of those windows.
#include "ChartSettingsDialog.h"
#include "PollCycle.h"

#include <QString>
#include <optional>

class MainWindowCommands {
public:
    virtual ~MainWindowCommands() = default;

    virtual void showPortDialog() = 0;
    virtual void closePort() = 0;
    // The parameter read-out, then the editor whatever the read-out's result.
    virtual void showParameters() = 0;
    virtual void showControllerRecord() = 0;
    virtual void showIdentification() = 0;
    virtual void showAbout() = 0;
    // "GRAF 3D", preset from `fields` and changing the chart while it is open; on OK true and
    // the fields read back, otherwise the chart put back.
    virtual bool editChartSettings(kv10::ChartSettings& fields) = 0;
    // "Rychlost záznamu", preset with the texts of the two rate panels and the record unit;
    // the rates chosen, or nothing unless it closed with OK.
    virtual std::optional<kv10::PollCycle::Rates> editRecordSpeed(const QString& recordPeriodText,
                                                                  const QString& filePeriodText, int recordUnit) = 0;
};
