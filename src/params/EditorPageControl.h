#pragma once
// The parameter editor's page control. Its tab bar offers screen readers only the tabs that
// are shown: Qt 6.4 reports a tab hidden for a firmware variant as showing, with an empty
// rectangle, so a screen reader would offer a page the user cannot open.
#include <QTabBar>
#include <QTabWidget>

class ShownTabsBar : public QTabBar {
    Q_OBJECT
public:
    explicit ShownTabsBar(QWidget* parent = nullptr);

    // The tab at `position` among the shown ones, or -1.
    int shownTab(int position) const;
    // The position of `tab` among the shown ones, or -1 when it is hidden.
    int shownPosition(int tab) const;
    int shownCount() const;

protected:
    void tabLayoutChange() override;
};

class EditorPageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit EditorPageControl(QWidget* parent = nullptr);
};
