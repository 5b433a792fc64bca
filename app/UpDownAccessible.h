#pragma once

#include <QAccessibleWidget>

class UpDown;

// Installs, once, the accessibility factory that answers for every UpDown with an
// UpDownAccessible. Called by the spinner itself when it is made.
void makeUpDownAccessible();

// The up-down spinner as assistive technology sees it: a spin button with a whole-number value
// between its bounds, which the technology may also set or step. It is labelled by the labels
// of its text box, since the box shows the value the spinner sets.
class UpDownAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit UpDownAccessible(UpDown* spinner);

    // QAccessibleInterface
    QString text(QAccessible::Text type) const override;
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match = QAccessible::AllRelations) const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    // QAccessibleValueInterface
    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

    // QAccessibleActionInterface
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;

private:
    UpDown* spinner() const;
};
