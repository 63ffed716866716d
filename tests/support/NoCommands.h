#pragma once
// The main window's menu commands that open nothing, for a main window on its own.
#include "MainWindowCommands.h"

namespace kv10::test {

class NoCommands : public MainWindowCommands {
public:
    void showPortDialog() override {}
    void closePort() override {}
    void showParameters() override {}
    void showControllerRecord() override {}
    void showIdentification() override {}
    void showAbout() override {}
    bool editChartSettings(ChartSettings&) override { return false; }
    std::optional<PollCycle::Rates> editRecordSpeed(const QString&, const QString&, int) override { return {}; }
};

} // namespace kv10::test
