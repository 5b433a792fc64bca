#include "ResponseListView.h"
#include "CellText.h"
#include "FrameClock.h"
#include "LogScrollBar.h"
#include "ResponseLogAccessible.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QToolTip>

namespace {
constexpr int CellPadding = 4;
} // namespace

ResponseListView::ResponseListView(QWidget* parent) : QAbstractScrollArea(parent)
{
    // The header has a model of its own so that clearing the rows leaves the column widths.
    m_headerModel = new QStandardItemModel(0, 2, this);
    m_headerModel->setHorizontalHeaderLabels(
        {QStringLiteral("Command"), QStringLiteral("Response")});
    m_header = new QHeaderView(Qt::Horizontal, this);
    m_header->setModel(m_headerModel);
    m_header->setSectionsClickable(false);
    m_header->setStretchLastSection(false);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_header->setFocusPolicy(Qt::NoFocus);
    m_header->resizeSection(0, 96);
    m_header->resizeSection(1, 96);

    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBar(new LogScrollBar(this));
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(8);
    // Opaque, so that a change repaints the scroll bar alone rather than the frame and the group
    // box behind it too, whose border the style draws from a pixmap on Qt's image threads.
    horizontalScrollBar()->setAutoFillBackground(true);
    viewport()->setAutoFillBackground(false);
    // The view paints every pixel of what it is asked to paint, so that scrolling can move the
    // pixels on the screen and leave only the rows that came into view to be painted.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

    setFrameClock(new FrameClock(this));
    connect(&m_model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first) { rowsChanged(first); });
    connect(&m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft) { rowsChanged(topLeft.row()); });
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_selected = -1;
        m_anchor = -1;
        m_selection.clear();
        m_pendingVisible = -1;
        m_following = true;
        rowsChanged(0);
    });
    // The wheel, the arrows, clicks in the trough and dragging the handle are the user's own
    // scrolling; the view's own scrolling to a new row is not.
    QScrollBar* vbar = verticalScrollBar();
    connect(vbar, &QAbstractSlider::actionTriggered, this, &ResponseListView::userScrolled);
    connect(vbar, &QAbstractSlider::sliderPressed, this, &ResponseListView::userScrolled);
    connect(vbar, &QAbstractSlider::sliderReleased, this, &ResponseListView::userScrolled);
    connect(m_header, &QHeaderView::sectionResized, this, [this] {
        updateScrollBars();
        viewport()->update();
    });
    makeResponseLogAccessible(this);
}

int ResponseListView::AddRow(const QString& command, RowKind kind)
{
    return m_model.append(command, kind) + 1;
}

void ResponseListView::SetResponse(int row, const QString& response)
{
    m_model.setResponse(row - 1, response);
}

int ResponseListView::Count() const
{
    return m_model.rowCount();
}

LogRow ResponseListView::Row(int row) const
{
    return m_model.row(row - 1);
}

void ResponseListView::Clear()
{
    m_model.clear();
}

void ResponseListView::SetBackColor(const QColor& color)
{
    m_backColor = color;
    viewport()->update();
}

void ResponseListView::EnsureVisible(int row)
{
    const int index = row - 1;
    if (index < 0 || index >= Count())
        return;
    m_pendingVisible = index;
    scheduleRefresh();
}

void ResponseListView::setFrameClock(FrameClock* clock)
{
    if (m_frameClock) {
        m_frameClock->cancelWake();
        disconnect(m_frameClock, nullptr, this, nullptr);
    }
    m_frameClock = clock;
    m_frameScheduled = false;
    m_lastFrameAt = std::numeric_limits<qint64>::min() / 2;
    connect(m_frameClock, &FrameClock::due, this, &ResponseListView::refresh);
    if (m_refreshPending)
        scheduleRefresh();
}

void ResponseListView::rowsChanged(int first)
{
    m_changedFrom = std::min(m_changedFrom, first);
    scheduleRefresh();
}

void ResponseListView::scheduleRefresh()
{
    // Only the first change after a frame asks for the time; those that follow it before the
    // next frame cost a test here.
    m_refreshPending = true;
    if (m_frameScheduled)
        return;
    m_frameScheduled = true;
    m_frameClock->wakeAt(m_lastFrameAt + FrameMs);
}

void ResponseListView::refresh()
{
    m_frameClock->cancelWake();
    m_frameScheduled = false;
    if (!m_refreshPending)
        return;
    m_refreshPending = false;
    m_lastFrameAt = m_frameClock->now();
    auto* bar = static_cast<LogScrollBar*>(verticalScrollBar());
    bar->beginChange();
    updateScrollBars();
    const int pending = std::exchange(m_pendingVisible, -1);
    if (pending >= 0 && m_following) {
        // The view moves its pixels itself below. Heard by the scroll area, each move would
        // also start a timer for each scroll bar that fires at once and does nothing with this
        // style: two more turns of the event loop a frame.
        const QSignalBlocker unheard(bar);
        scrollToShow(pending);
    }
    bar->endChange();
    showTop(bar->value());
    // Scrolling has moved the rows already on the screen; what is left to paint is the rows
    // from the first one added or changed down to the bottom of the view.
    const int changed = std::exchange(m_changedFrom, INT_MAX);
    const int top = verticalScrollBar()->value();
    if (changed < top + fullyVisibleRows() + 1) {
        const int y = std::max(0, changed - top) * rowHeight();
        viewport()->update(0, y, viewport()->width(), viewport()->height() - y);
    }
}

void ResponseListView::flushPendingRows()
{
    refresh();
}

void ResponseListView::userScrolled()
{
    // The slider's position is where the user is taking it; the value may not have followed yet.
    const QScrollBar* bar = verticalScrollBar();
    m_following = !bar->isSliderDown() && bar->sliderPosition() >= bar->maximum();
}

void ResponseListView::scrollToShow(int index)
{
    QScrollBar* bar = verticalScrollBar();
    if (index < bar->value())
        bar->setValue(index);
    else if (index >= bar->value() + fullyVisibleRows())
        bar->setValue(index - fullyVisibleRows() + 1);
}

void ResponseListView::setColumnWidth(int column, int pixels)
{
    m_header->resizeSection(column, pixels);
}

int ResponseListView::columnWidth(int column) const
{
    return m_header->sectionSize(column);
}

int ResponseListView::rowHeight() const
{
    return fontMetrics().height() + 3;
}

int ResponseListView::TopRow() const
{
    return verticalScrollBar()->value() + 1;
}

bool ResponseListView::IsRowVisible(int row) const
{
    const int index = row - 1;
    const int top = verticalScrollBar()->value();
    return index >= top && index < top + fullyVisibleRows();
}

int ResponseListView::fullyVisibleRows() const
{
    return std::max(1, viewport()->height() / rowHeight());
}

void ResponseListView::updateScrollBars()
{
    // A scroll bar repaints whenever its page step is set, even to the same value.
    QScrollBar* vbar = verticalScrollBar();
    const int page = fullyVisibleRows();
    if (vbar->pageStep() != page)
        vbar->setPageStep(page);
    // Each change of range has the scroll area lay out its scroll bars afresh, which repaints
    // both of them (and the group box behind the horizontal one) at every frame. That is needed
    // only when the bar comes or goes; in between, the range changes unheard.
    const int maximum = std::max(0, Count() - page);
    if ((maximum > 0) == (vbar->maximum() > 0)) {
        const QSignalBlocker unheard(vbar);
        vbar->setRange(0, maximum);
    } else {
        vbar->setRange(0, maximum);
    }

    QScrollBar* hbar = horizontalScrollBar();
    const int contentWidth = m_header->length();
    if (hbar->pageStep() != viewport()->width())
        hbar->setPageStep(viewport()->width());
    hbar->setRange(0, std::max(0, contentWidth - viewport()->width()));
}

void ResponseListView::placeHeader()
{
    const int height = m_header->sizeHint().height();
    setViewportMargins(0, height, 0, 0);
    const QRect area = viewport()->geometry();
    m_header->setGeometry(area.left(), area.top() - height, area.width(), height);
}

void ResponseListView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    placeHeader();
    updateScrollBars();
}

void ResponseListView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        placeHeader();
        updateScrollBars();
    }
}

void ResponseListView::scrollContentsBy(int dx, int dy)
{
    if (dx != 0) {
        m_header->setOffset(horizontalScrollBar()->value());
        viewport()->update();
        return;
    }
    // The scroll area's count of rows moved misses the moves the view made itself.
    Q_UNUSED(dy);
    showTop(verticalScrollBar()->value());
}

void ResponseListView::showTop(int top)
{
    // The rows on the screen move with their pixels; only the rows scrolled into view are
    // painted.
    const int rows = m_shownTop - top;
    m_shownTop = top;
    if (rows != 0)
        viewport()->scroll(0, rows * rowHeight());
}

void ResponseListView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), m_backColor);

    const int height = rowHeight();
    const QRect area = event->rect();
    const int top = verticalScrollBar()->value();
    // Only the rows in the area asked for.
    const int first = top + area.top() / height;
    const int count = std::min(Count(), top + area.bottom() / height + 1);
    const int xOffset = horizontalScrollBar()->value();
    const QFontMetrics metrics = fontMetrics();
    const bool focused = hasFocus();
    const QPalette::ColorGroup group = focused ? QPalette::Active : QPalette::Inactive;

    for (int index = first, y = (first - top) * height; index < count; ++index, y += height) {
        const bool selected = m_selection.contains(index);
        if (selected) {
            const QRect rowRect(-xOffset, y, m_header->length(), height);
            painter.fillRect(rowRect, palette().brush(group, QPalette::Highlight));
        }
        painter.setPen(
            palette().color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        for (int column = 0; column < 2; ++column) {
            const int left = m_header->sectionPosition(column) - xOffset;
            const int width = m_header->sectionSize(column);
            const QRect textRect(left + CellPadding, y, width - 2 * CellPadding, height);
            const QStringView text = m_model.cell(index, column);
            painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                             cellTextForWidth(text, metrics, textRect.width()));
        }
    }
}

int ResponseListView::rowAt(int y) const
{
    const int index = verticalScrollBar()->value() + y / rowHeight();
    return index < Count() ? index : -1;
}

int ResponseListView::columnAt(int x) const
{
    return m_header->logicalIndexAt(x);
}

void ResponseListView::select(int index, Qt::KeyboardModifiers modifiers)
{
    if (Count() == 0)
        return;
    refresh();
    const int before = std::exchange(m_selected, std::clamp(index, 0, Count() - 1));
    const bool extended = modifiers & (Qt::ShiftModifier | Qt::ControlModifier);
    if (modifiers & Qt::ShiftModifier) {
        // From the anchor to the current row.
        if (m_anchor < 0 || m_anchor >= Count())
            m_anchor = before >= 0 ? before : m_selected;
        m_selection.selectOnly(m_anchor, m_selected);
    } else {
        if (modifiers & Qt::ControlModifier)
            m_selection.toggle(m_selected);
        else
            m_selection.selectOnly(m_selected, m_selected);
        m_anchor = m_selected;
    }
    scrollToShow(m_selected);
    // Moving the selection away from the end reads back; reaching the last row follows again.
    userScrolled();
    viewport()->update();
    if (extended)
        emit selectionExtended(m_selected + 1, m_selected != before);
    else if (m_selected != before)
        emit selectionMoved(m_selected + 1);
}

void ResponseListView::selectAll()
{
    if (Count() == 0)
        return;
    refresh();
    // The current row stays; without one, it is the first row in view.
    const int before = m_selected;
    if (m_selected < 0)
        m_selected = std::min(verticalScrollBar()->value(), Count() - 1);
    m_anchor = 0;
    m_selection.selectOnly(0, Count() - 1);
    viewport()->update();
    emit selectionExtended(m_selected + 1, m_selected != before);
}

void ResponseListView::mousePressEvent(QMouseEvent* event)
{
    const int index = rowAt(event->position().toPoint().y());
    // A right click on a selected row keeps the selection for the context menu.
    const bool keep = event->button() == Qt::RightButton && m_selection.contains(index);
    if (index >= 0 && !keep)
        select(index, event->button() == Qt::LeftButton ? event->modifiers() : Qt::NoModifier);
    QAbstractScrollArea::mousePressEvent(event);
}

void ResponseListView::keyPressEvent(QKeyEvent* event)
{
    const int page = fullyVisibleRows();
    const int current = m_selected < 0 ? verticalScrollBar()->value() - 1 : m_selected;
    if (event->matches(QKeySequence::Copy)) {
        copySelectedRows();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    // Shift extends the selection as the current row moves.
    const Qt::KeyboardModifiers extend = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Down:
        select(current + 1, extend);
        break;
    case Qt::Key_Up:
        select(current - 1, extend);
        break;
    case Qt::Key_PageDown:
        select(current + page, extend);
        break;
    case Qt::Key_PageUp:
        select(current - page, extend);
        break;
    case Qt::Key_Home:
        select(0, extend);
        break;
    case Qt::Key_End:
        select(Count() - 1, extend);
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        horizontalScrollBar()->triggerAction(event->key() == Qt::Key_Left
                                                 ? QAbstractSlider::SliderSingleStepSub
                                                 : QAbstractSlider::SliderSingleStepAdd);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void ResponseListView::copySelectedRows()
{
    if (m_selection.isEmpty())
        return;
    QString text;
    for (const RowSelection::Range& range : m_selection.ranges()) {
        for (int row = range.first; row <= range.second && row < Count(); ++row) {
            if (!text.isEmpty())
                text += QLatin1Char('\n');
            text += m_model.cell(row, ResponseLogModel::CommandColumn);
            text += QLatin1Char('\t');
            text += m_model.cell(row, ResponseLogModel::ResponseColumn);
        }
    }
    QApplication::clipboard()->setText(text);
}

void ResponseListView::contextMenuEvent(QContextMenuEvent* event)
{
    QPoint at = event->globalPos();
    if (event->reason() == QContextMenuEvent::Mouse) {
        // The press has selected the row already, or kept the selection it was in.
        const int index = rowAt(viewport()->mapFromGlobal(at).y());
        if (index >= 0 && !m_selection.contains(index))
            select(index);
    } else {
        // From the keyboard: beside the selected row when it is in view.
        refresh();
        const int visibleRow = m_selected - verticalScrollBar()->value();
        const int y = visibleRow >= 0 && visibleRow < fullyVisibleRows()
                          ? visibleRow * rowHeight() + rowHeight() / 2
                          : 0;
        at = viewport()->mapToGlobal(QPoint(2 * CellPadding, y));
    }
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copy =
        menu->addAction(QStringLiteral("Copy"), this, &ResponseListView::copySelectedRows);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutVisibleInContextMenu(true);
    copy->setEnabled(!m_selection.isEmpty());
    if (!actions().isEmpty()) {
        menu->addSeparator();
        menu->addActions(actions());
    }
    // popup() returns at once: the polling loop keeps reading while the menu is open.
    menu->popup(at);
    event->accept();
}

bool ResponseListView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        // Show the whole text of a cell that is too wide for its column.
        auto* help = static_cast<QHelpEvent*>(event);
        const int index = rowAt(help->pos().y());
        const int column = columnAt(help->pos().x() + horizontalScrollBar()->value());
        if (index >= 0 && column >= 0) {
            const QStringView text = m_model.cell(index, column);
            const int room = m_header->sectionSize(column) - 2 * CellPadding;
            if (cellTextForWidth(text, fontMetrics(), room) != text) {
                QToolTip::showText(help->globalPos(), cellToolTipText(text), viewport());
                return true;
            }
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}
