#include "RunStatusLine.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {

// The status line as assistive technology sees it: a status bar whose name is its text.
class RunStatusAccessible : public QAccessibleWidget {
public:
    explicit RunStatusAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::StatusBar)
    {
    }
    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Name)
            return static_cast<QLabel*>(widget())->text();
        return QAccessibleWidget::text(type);
    }
};

QAccessibleInterface* statusFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(RunStatusLine::staticMetaObject.className()) &&
        object->isWidgetType())
        return new RunStatusAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

RunStatusLine::RunStatusLine(QWidget* parent) : QLabel(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(statusFactory);
        return true;
    }();
    Q_UNUSED(installed);
    // A label without a name of its own reports every change of its text; this one names
    // itself through its interface above and reports only what announce() asks for.
    setAccessibleName(QStringLiteral("Run status"));
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    // Reachable with the keyboard, so that it can be read and copied.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFocusPolicy(Qt::TabFocus);
}

void RunStatusLine::setStatus(const QString& text, bool announce)
{
    if (text == this->text() && !announce)
        return;
    setText(text);
    if (announce) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}
