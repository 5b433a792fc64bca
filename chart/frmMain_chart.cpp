// The terminal window's command "Chart of Readings…" (Ctrl+G and the log's context menu), which
// opens the one chart or brings it to the front. The chart is a window of its own rather than
// one the terminal owns, so that activating either brings it to the front; the terminal closes
// it when it closes.

#include "app/frmMain.h"
#include "chart/ChartWindow.h"
#include "log/ResponseListView.h"

#include <QAction>

void frmMain::createChartCommand()
{
    mnuChart = new QAction(QStringLiteral("Chart of Readings\u2026"), this);
    mnuChart->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    mnuChart->setShortcutContext(Qt::WindowShortcut);
    mnuChart->setShortcutVisibleInContextMenu(true);
    addAction(mnuChart);
    lstResponse->addAction(mnuChart); // offered in the log's context menu
    connect(mnuChart, &QAction::triggered, this, &frmMain::mnuChart_Click);
}

ChartWindow* frmMain::chartWindow() const
{
    return m_chart;
}

void frmMain::mnuChart_Click()
{
    // One chart: a second request brings it to the front.
    if (!m_chart) {
        m_chart = new ChartWindow(lstResponse->model(), this, lstResponse);
        m_chart->show();
        return;
    }
    if (m_chart->isMinimized())
        m_chart->showNormal();
    m_chart->raise();
    m_chart->activateWindow();
}
