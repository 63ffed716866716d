#include "EditorPageControl.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

namespace {

// One shown tab: named by its caption, selected when open, pressed to open it.
class AccessibleTab : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    AccessibleTab(ShownTabsBar* bar, int tab) : m_bar(bar), m_tab(tab) {}

    bool isValid() const override { return m_bar && m_tab < m_bar->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_bar ? m_bar->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_bar.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text t) const override
    {
        if (!isValid() || t != QAccessible::Name)
            return {};
        const QString name = m_bar->accessibleTabName(m_tab);
        return name.isEmpty() ? m_bar->tabText(m_tab).remove(QLatin1Char('&')) : name;
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid())
            return s;
        s.focusable = true;
        s.selectable = true;
        s.selected = m_tab == m_bar->currentIndex();
        s.focused = s.selected && m_bar->hasFocus();
        s.disabled = !m_bar->isTabEnabled(m_tab);
        s.invisible = !m_bar->isTabVisible(m_tab);
        return s;
    }
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect local = m_bar->tabRect(m_tab);
        return QRect(m_bar->mapToGlobal(local.topLeft()), local.size());
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override
    {
        if (isValid() && action == pressAction())
            m_bar->setCurrentIndex(m_tab);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<ShownTabsBar> m_bar;
    int m_tab;
};

class AccessibleShownTabs : public QAccessibleWidget {
public:
    explicit AccessibleShownTabs(ShownTabsBar* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    ~AccessibleShownTabs() override
    {
        for (const QAccessible::Id id : std::as_const(m_tabs))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return bar()->shownCount(); }
    QAccessibleInterface* child(int position) const override
    {
        const int tab = bar()->shownTab(position);
        if (tab < 0)
            return nullptr;
        if (const auto found = m_tabs.constFind(tab); found != m_tabs.constEnd())
            return QAccessible::accessibleInterface(*found);
        auto* button = new AccessibleTab(bar(), tab);
        m_tabs.insert(tab, QAccessible::registerAccessibleInterface(button));
        return button;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (auto it = m_tabs.constBegin(); it != m_tabs.constEnd(); ++it)
            if (QAccessible::accessibleInterface(it.value()) == child)
                return bar()->shownPosition(it.key());
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int position = 0; position < childCount(); ++position)
            if (QAccessibleInterface* tab = child(position); tab && tab->rect().contains(x, y))
                return tab;
        return nullptr;
    }

private:
    ShownTabsBar* bar() const { return static_cast<ShownTabsBar*>(widget()); }
    mutable QHash<int, QAccessible::Id> m_tabs;   // by tab index
};

QAccessibleInterface* shownTabsFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("ShownTabsBar") && object && object->isWidgetType())
        return new AccessibleShownTabs(static_cast<ShownTabsBar*>(object));
    return nullptr;
}

} // namespace

ShownTabsBar::ShownTabsBar(QWidget* parent) : QTabBar(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(shownTabsFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

int ShownTabsBar::shownTab(int position) const
{
    for (int tab = 0; tab < count(); ++tab)
        if (isTabVisible(tab) && position-- == 0)
            return tab;
    return -1;
}

int ShownTabsBar::shownPosition(int tab) const
{
    if (tab < 0 || tab >= count() || !isTabVisible(tab))
        return -1;
    int position = 0;
    for (int before = 0; before < tab; ++before)
        position += isTabVisible(before) ? 1 : 0;
    return position;
}

int ShownTabsBar::shownCount() const
{
    int shown = 0;
    for (int tab = 0; tab < count(); ++tab)
        shown += isTabVisible(tab) ? 1 : 0;
    return shown;
}

void ShownTabsBar::tabLayoutChange()
{
    QTabBar::tabLayoutChange();
    // A tab shown or hidden changes the children a screen reader knows.
    QAccessibleEvent changed(this, QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&changed);
}

EditorPageControl::EditorPageControl(QWidget* parent) : QTabWidget(parent)
{
    setTabBar(new ShownTabsBar(this));
}
