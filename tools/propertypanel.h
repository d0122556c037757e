#pragma once

#include <QHash>
#include <QMetaProperty>
#include <QWidget>
#include <functional>

// Editors for every property a widget class declares itself, plus buttons
// for its argument-free slots and its other one-int slots, so that each
// setter can be tried by hand. Editors re-read the property after every
// write, which shows at once when a setter refuses a value.
class PropertyPanel : public QWidget
{
    Q_OBJECT

public:
    explicit PropertyPanel(QObject *target, QWidget *parent = nullptr);

public slots:
    void refresh();

private:
    QWidget *makeEditor(const QMetaProperty &property);
    QWidget *makeSlotRow(const QMetaMethod &method);
    void write(const char *name, const QVariant &value);

    QObject *target;
    // Property name -> function that loads the editor from the target.
    QHash<QByteArray, std::function<void()>> loaders;
};
