#pragma once

#include "ResponseLogModel.h"
#include "RowSelection.h"

#include <QAbstractScrollArea>
#include <QColor>

#include <climits>
#include <limits>

class FrameClock;
class QHeaderView;
class QStandardItemModel;

// The response log as the user sees it: a two-column report list that paints only the rows in
// view, so that appending a row and bringing it into view cost the same at any length of log.
// Scroll bars and painting catch up with new rows in frames of FrameMs: a row that comes when
// the log has not been drawn for that long is drawn at the next turn of the event loop, and the
// rows that follow it together, one frame after it, however fast they come. A frame scrolls
// what is on the screen and paints only the rows that are new or changed.
// A new row is brought into view only while the view follows the log's end: the user who has
// scrolled back, or holds the scroll bar, reads on undisturbed until they return to the last row
// (or press Ctrl+End). Several rows can be selected (Shift and Ctrl with the arrows and clicks,
// Ctrl+A) and copied together. Rows are numbered from 1 in the operations the window uses.
class ResponseListView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr qint64 FrameMs = 33;

    explicit ResponseListView(QWidget* parent = nullptr);

    // Operations of the log.
    // Returns the new row's number; the row is stamped with its kind and the current time.
    int AddRow(const QString& command, RowKind kind = RowKind::Reply);
    void SetResponse(int row, const QString& response);
    void EnsureVisible(int row);
    int Count() const;
    LogRow Row(int row) const;
    void Clear();
    void SetBackColor(const QColor& color);
    QColor BackColor() const { return m_backColor; }

    ResponseLogModel& model() { return m_model; }
    QHeaderView* header() const { return m_header; }
    void setColumnWidth(int column, int pixels);
    int columnWidth(int column) const;
    int rowHeight() const;
    // First row (counted from 1) at the top of the view as it is now, and the current row (the
    // one selected last, which has the focus) or 0.
    int TopRow() const;
    int SelectedRow() const { return m_selected + 1; }
    // The selected rows, counted from 0.
    const RowSelection& selection() const { return m_selection; }
    bool IsRowVisible(int row) const;
    // Whether new rows are brought into view: the view shows the last row and the user does not
    // hold the scroll bar.
    bool isFollowing() const { return m_following; }
    // Shows the rows added since the last frame now rather than at the next frame.
    void flushPendingRows();
    // The clock that paces the frames (the view's own until then); the view does not own it.
    void setFrameClock(FrameClock* clock);
    // Puts the selected rows on the clipboard in their order, each as its two cells with a tab
    // between them, a line feed between rows.
    void copySelectedRows();
    // Selects every row there is now (not those that come later).
    void selectAll();

signals:
    // The selection has moved to `row` (counted from 1), alone.
    void selectionMoved(int row);
    // More rows than one may be selected now; `row` (counted from 1) is the current row, and
    // `moved` tells whether it changed.
    void selectionExtended(int row, bool moved);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    // "Copy" and the actions added to the view, opened without waiting for the choice.
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class ResponseLogAccessible; // assistive technology may select a row

    void scheduleRefresh();
    void rowsChanged(int first);
    void refresh();
    void updateScrollBars();
    void scrollToShow(int index);
    // Moves what the view shows so that row `top` (from 0) is at the top.
    void showTop(int top);
    void placeHeader();
    int fullyVisibleRows() const;
    int rowAt(int y) const;
    int columnAt(int x) const;
    void select(int index, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void userScrolled();

    ResponseLogModel m_model;
    QStandardItemModel* m_headerModel = nullptr;
    QHeaderView* m_header = nullptr;
    QColor m_backColor = Qt::white;
    int m_selected = -1; // the current row, counted from 0
    int m_anchor = -1;   // where a selection made with Shift starts
    RowSelection m_selection;
    FrameClock* m_frameClock = nullptr;
    qint64 m_lastFrameAt = std::numeric_limits<qint64>::min() / 2;
    bool m_frameScheduled = false; // the clock will wake the view for the next frame
    bool m_refreshPending = false;
    int m_changedFrom = INT_MAX; // first row (from 0) added or changed since the last frame
    int m_pendingVisible = -1;   // row (from 0) to bring into view at the next refresh
    int m_shownTop = 0;          // row (from 0) at the top of what the view shows now
    bool m_following = true;     // new rows are brought into view
};
