#include "UpDownAccessible.h"
#include "UpDown.h"

#include <QLabel>
#include <QLineEdit>

namespace {

QAccessibleInterface* upDownFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(UpDown::staticMetaObject.className()) && object->isWidgetType())
        return new UpDownAccessible(static_cast<UpDown*>(object));
    return nullptr;
}

} // namespace

void makeUpDownAccessible()
{
    static const bool installed = [] {
        QAccessible::installFactory(upDownFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

UpDownAccessible::UpDownAccessible(UpDown* spinner)
    : QAccessibleWidget(spinner, QAccessible::SpinBox)
{
}

UpDown* UpDownAccessible::spinner() const
{
    return static_cast<UpDown*>(widget());
}

QString UpDownAccessible::text(QAccessible::Text type) const
{
    if (type == QAccessible::Value)
        return QString::number(spinner()->value());
    return QAccessibleWidget::text(type);
}

QList<QPair<QAccessibleInterface*, QAccessible::Relation>>
UpDownAccessible::relations(QAccessible::Relation match) const
{
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>> found;
    const QLineEdit* box = spinner()->buddy();
    if ((match & QAccessible::Label) && box && box->parentWidget()) {
        // The labels beside the box come first, as they do for the box itself.
        const auto labels = box->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
        for (QLabel* label : labels) {
            if (label->buddy() == box)
                found.append({QAccessible::queryAccessibleInterface(label), QAccessible::Label});
        }
    }
    return found + QAccessibleWidget::relations(match);
}

void* UpDownAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QVariant UpDownAccessible::currentValue() const
{
    return spinner()->value();
}

void UpDownAccessible::setCurrentValue(const QVariant& value)
{
    bool ok = false;
    const int number = value.toInt(&ok);
    if (ok && spinner()->isEnabled())
        spinner()->setValue(number);
}

QVariant UpDownAccessible::maximumValue() const
{
    return spinner()->maximum();
}

QVariant UpDownAccessible::minimumValue() const
{
    return spinner()->minimum();
}

QVariant UpDownAccessible::minimumStepSize() const
{
    return spinner()->singleStep();
}

QStringList UpDownAccessible::actionNames() const
{
    return QAccessibleWidget::actionNames() << QAccessibleActionInterface::increaseAction()
                                            << QAccessibleActionInterface::decreaseAction();
}

void UpDownAccessible::doAction(const QString& actionName)
{
    if (!spinner()->isEnabled())
        return;
    if (actionName == QAccessibleActionInterface::increaseAction())
        spinner()->stepBy(1);
    else if (actionName == QAccessibleActionInterface::decreaseAction())
        spinner()->stepBy(-1);
    else
        QAccessibleWidget::doAction(actionName);
}

QStringList UpDownAccessible::keyBindingsForAction(const QString& actionName) const
{
    if (actionName == QAccessibleActionInterface::increaseAction())
        return {QKeySequence(Qt::Key_Up).toString()};
    if (actionName == QAccessibleActionInterface::decreaseAction())
        return {QKeySequence(Qt::Key_Down).toString()};
    return QAccessibleWidget::keyBindingsForAction(actionName);
}
