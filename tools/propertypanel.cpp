#include "propertypanel.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QSignalBlocker>
#include <QSpinBox>

namespace {

void showColor(QPushButton *button, const QColor &color)
{
    button->setText(color.name(QColor::HexArgb));
    button->setStyleSheet(
        QStringLiteral("background-color: %1; color: %2;")
            .arg(color.name(QColor::HexArgb), color.lightness() > 128 ? "black" : "white"));
}

} // namespace

PropertyPanel::PropertyPanel(QObject *target, QWidget *parent) : QWidget(parent), target(target)
{
    auto *form = new QFormLayout(this);
    const QMetaObject *meta = target->metaObject();

    QSet<QByteArray> setters;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (QWidget *editor = makeEditor(property))
            form->addRow(QString::fromLatin1(property.name()), editor);
        QByteArray setter = property.name();
        setter[0] = char(toupper(setter[0]));
        setters.insert("set" + setter);
    }

    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Public ||
            setters.contains(method.name()))
            continue;
        if (QWidget *row = makeSlotRow(method))
            form->addRow(row);
    }
    refresh();
}

void PropertyPanel::refresh()
{
    for (const auto &load : qAsConst(loaders))
        load();
}

void PropertyPanel::write(const char *name, const QVariant &value)
{
    target->setProperty(name, value);
    refresh();
}

QWidget *PropertyPanel::makeEditor(const QMetaProperty &property)
{
    const QByteArray name = property.name();
    switch (int(property.type())) {
    case QVariant::Bool: {
        auto *box = new QCheckBox;
        connect(box, &QCheckBox::toggled, this, [this, name](bool on) { write(name, on); });
        loaders.insert(name, [this, box, name] {
            const QSignalBlocker block(box);
            box->setChecked(target->property(name).toBool());
        });
        return box;
    }
    case QVariant::Int: {
        auto *spin = new QSpinBox;
        spin->setRange(-100000, 100000);
        connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), this,
                [this, name](int value) { write(name, value); });
        loaders.insert(name, [this, spin, name] {
            const QSignalBlocker block(spin);
            spin->setValue(target->property(name).toInt());
        });
        return spin;
    }
    case QVariant::Double: {
        auto *spin = new QDoubleSpinBox;
        spin->setRange(-100000, 100000);
        spin->setDecimals(3);
        connect(spin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                [this, name](double value) { write(name, value); });
        loaders.insert(name, [this, spin, name] {
            const QSignalBlocker block(spin);
            spin->setValue(target->property(name).toDouble());
        });
        return spin;
    }
    case QVariant::String: {
        auto *line = new QLineEdit;
        connect(line, &QLineEdit::textEdited, this,
                [this, name](const QString &text) { write(name, text); });
        loaders.insert(name, [this, line, name] {
            const QSignalBlocker block(line);
            line->setText(target->property(name).toString());
        });
        return line;
    }
    case QVariant::Color: {
        auto *button = new QPushButton;
        connect(button, &QPushButton::clicked, this, [this, name] {
            const QColor chosen =
                QColorDialog::getColor(target->property(name).value<QColor>(), this,
                                       QString::fromLatin1(name), QColorDialog::ShowAlphaChannel);
            if (chosen.isValid())
                write(name, chosen);
        });
        loaders.insert(name, [this, button, name] {
            showColor(button, target->property(name).value<QColor>());
        });
        return button;
    }
    default:
        return new QLabel(QStringLiteral("(%1)").arg(property.typeName()));
    }
}

QWidget *PropertyPanel::makeSlotRow(const QMetaMethod &method)
{
    const QByteArray signature = method.methodSignature();
    if (method.parameterCount() == 0) {
        auto *button = new QPushButton(QString::fromLatin1(method.name()));
        connect(button, &QPushButton::clicked, this, [this, signature] {
            const QMetaObject *meta = target->metaObject();
            meta->method(meta->indexOfMethod(signature)).invoke(target);
            refresh();
        });
        return button;
    }
    if (method.parameterCount() == 1 && method.parameterType(0) == QMetaType::Int) {
        auto *row = new QWidget;
        auto *layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *spin = new QSpinBox;
        spin->setRange(-100000, 100000);
        auto *button = new QPushButton(QString::fromLatin1(method.name()));
        layout->addWidget(button);
        layout->addWidget(spin);
        connect(button, &QPushButton::clicked, this, [this, signature, spin] {
            const QMetaObject *meta = target->metaObject();
            meta->method(meta->indexOfMethod(signature)).invoke(target, Q_ARG(int, spin->value()));
            refresh();
        });
        return row;
    }
    return nullptr;
}
