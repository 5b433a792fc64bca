#pragma once

#include "ColumnReduction.h"
#include "ReadingSeries.h"

#include <QElapsedTimer>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QRectF>
#include <QTimer>
#include <QWidget>

#include <utility>
#include <vector>

class QChart;
class QChartView;
class QCategoryAxis;
class QGraphicsEllipseItem;
class QGraphicsRectItem;
class QLineSeries;
class QPushButton;
class QValueAxis;
class ReadingLinesItem;
class ResponseLogModel;
struct TimeTick;

// The chart of the readings in the response log: one line per series over the time the rows
// were added. It reads the log's rows, including those that were there when it opened, takes new
// rows in when it redraws, at most RedrawIntervalMs after the last redraw, and is emptied
// by Clear. Each line shows per pixel column the first, lowest, highest and last reading in it,
// so that a repaint costs the same for a thousand readings as for millions. It follows the newest
// reading until the user zooms or pans the time axis. A window of its own, not kept above the
// terminal, on the terminal's screen; closing it changes nothing in the log.
class ChartWindow : public QWidget {
    Q_OBJECT
public:
    // It opens beside `terminal`, the terminal's window, and never over `keepClear` (a part
    // of it) while there is another place. The terminal closes it when it closes, and deletes
    // it at the latest with itself.
    ChartWindow(const ResponseLogModel& log, const QWidget* terminal,
                const QWidget* keepClear = nullptr);
    ~ChartWindow() override;

    // While readings come, the lines are drawn afresh at most once in this time: a row that
    // comes when the chart has not been drawn for as long is drawn at once, the rows after it
    // together when the time is up. At most 20 times a second, whatever number of rows came.
    static constexpr int RedrawIntervalMs = 50;

    // The readings taken in so far.
    const ReadingSeriesSet& readings() const { return m_readings; }
    QChart* chart() const { return m_chart; }
    QChartView* chartView() const;
    // The series' entry in the legend, its colour and whether it is shown.
    QLineSeries* line(int series) const { return m_lines[size_t(series)]; }
    // The series in the legend: one for each series of readings().
    int lineCount() const { return int(m_lines.size()); }
    // The points its line is drawn through: the readings reduced to the pixel columns.
    const QList<QPointF>& linePoints(int series) const { return m_reduced[size_t(series)].points; }
    // Those of them that begin a new segment of the line, not joined to the point before.
    const QList<qsizetype>& lineSegmentStarts(int series) const
    {
        return m_reduced[size_t(series)].segmentStarts;
    }
    QPushButton* followButton() const { return m_followButton; }
    QPushButton* saveButton() const { return m_saveButton; }
    bool isFollowing() const { return m_following; }

    // The times shown, in milliseconds since 1970.
    std::pair<qint64, qint64> timeRange() const { return {m_from, m_to}; }
    // Shows the times [from, to] as zooming and panning do: the view stops following. The view
    // keeps within the bounds of TimeView.h.
    void showTimeRange(qint64 from, qint64 to);
    // What hovering at a point of the chart view shows: the series, the time (as time stamps
    // are written) and the value of the nearest reading; empty where none is near.
    QString hoverText(const QPoint& viewPos) const;
    // Writes the chart as a PNG image; returns "" or what went wrong.
    QString savePng(const QString& path) const;
    // Takes the log's new rows in and draws them now, rather than at the next redraw.
    void updateNow();

public slots:
    // Shows every reading and keeps the newest in view as more come.
    void follow();
    // Asks for a file with a dialog of its own that leaves the terminal running.
    void askForPngFile();

signals:
    // The lines were drawn afresh (after new readings, a zoom, or Clear).
    void redrawn();
    // The chart view has painted itself.
    void painted();

private:
    friend class ReadingsChartView;
    friend class ReadingLinesItem;

    struct Nearest {
        int series = -1;
        qsizetype index = -1;
    };
    // Where readings are in the chart view's scene as the axes stand.
    struct PlotMapping {
        QRectF plot;
        double from = 0;
        double xScale = 0;
        double low = 0;
        double yScale = 0;
        QPointF scenePosition(const Reading& reading) const;
    };

    // Gives the window its first size and place (besideTerminalFrame): wholly on the terminal's
    // screen.
    void placeBeside(const QWidget* terminal, const QWidget* keepClear);
    void scheduleUpdate();
    void viewResized();
    void watchForRows();
    void takeNewRows();
    void descriptionChanged();
    void addLine(int series);
    void clearChart();
    void redraw();
    void fitValueAxis(double lowest, double highest);
    // "No readings yet" in the middle of the plot, shown while the chart has no readings.
    void placeEmptyNotice();
    std::pair<qint64, qint64> followedRange() const;
    void setTimeRange(qint64 from, qint64 to);
    void showRangeOnAxis();
    void toggleSeries(int series);
    Nearest nearestReading(const QPointF& scenePos) const;
    PlotMapping plotMapping() const;
    void hoverAt(const QPoint& viewPos, const QPoint& globalPos);
    void endHover();
    void zoomAt(double sceneX, double factor);
    // Shows the times between two points of the scene across the plot.
    void zoomTo(double sceneLeft, double sceneRight);
    void panBy(double pixels);
    void writePng(const QString& path);

    const ResponseLogModel& m_log;
    ReadingSeriesSet m_readings;
    int m_rowsTaken = 0;

    QChart* m_chart = nullptr;
    QChartView* m_view = nullptr;
    QCategoryAxis* m_timeAxis = nullptr;
    QValueAxis* m_valueAxis = nullptr;
    std::vector<QLineSeries*> m_lines;      // by series: legend entries, without points
    std::vector<ColumnReduction> m_reduced; // by series: the points drawn
    ReadingLinesItem* m_linesItem = nullptr;
    QGraphicsEllipseItem* m_hoverMark = nullptr;
    QGraphicsRectItem* m_emptyNotice = nullptr;
    QPushButton* m_followButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QString m_pngFile;           // chosen at the last PNG prompt
    bool m_askingForPng = false; // its prompt is open

    QTimer m_updateTimer;
    QElapsedTimer m_sinceUpdate;       // since the new rows were last taken in
    double m_reducedWidth = 0;         // of the plot the lines were last reduced for
    std::vector<TimeTick> m_timeTicks; // on the time axis
    qint64 m_from = 0;
    qint64 m_to = 0;
    bool m_following = true;
    bool m_watchingRows = false; // a new row will schedule an update
    bool m_hovering = false;     // the pointer rests near a reading and its tip is shown
    QPoint m_hoverViewPos;
    QPoint m_hoverGlobalPos;
};
