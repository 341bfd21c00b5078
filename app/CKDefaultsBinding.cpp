#include "app/CKDefaultsBinding.h"

#include "platform/UserDefaults.h"
#include "platform/ValueTransformer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSignalBlocker>

namespace CKDefaultsBinding {

namespace {

// Runs show now and whenever key changes, while control lives.
template <typename Show>
void follow(QWidget* control, UserDefaults& defaults, const QString& key, Show show)
{
    show();
    QObject::connect(&defaults, &UserDefaults::valueChanged, control, [key, show](const QString& changed) {
        if (changed == key)
            show();
    });
}

} // namespace

void bindSelectedTag(QComboBox* popUp, UserDefaults& defaults, const QString& key)
{
    follow(popUp, defaults, key, [popUp, &defaults, key] {
        const QSignalBlocker blocker(popUp);
        popUp->setCurrentIndex(popUp->findData(qlonglong(defaults.integerForKey(key))));
    });
    QObject::connect(popUp, &QComboBox::activated, popUp, [popUp, &defaults, key](int index) {
        defaults.setInteger(popUp->itemData(index).toLongLong(), key);
    });
}

void bindChecked(QAbstractButton* checkBox, UserDefaults& defaults, const QString& key)
{
    follow(checkBox, defaults, key, [checkBox, &defaults, key] {
        const QSignalBlocker blocker(checkBox);
        checkBox->setChecked(defaults.boolForKey(key));
    });
    QObject::connect(checkBox, &QAbstractButton::toggled, checkBox,
                     [&defaults, key](bool checked) { defaults.setBool(checked, key); });
}

void bindValue(QDoubleSpinBox* spinBox, UserDefaults& defaults, const QString& key)
{
    follow(spinBox, defaults, key, [spinBox, &defaults, key] {
        const QSignalBlocker blocker(spinBox);
        spinBox->setValue(defaults.doubleForKey(key));
    });
    QObject::connect(spinBox, &QDoubleSpinBox::valueChanged, spinBox,
                     [&defaults, key](double value) { defaults.setDouble(value, key); });
}

void bindText(QLineEdit* field, UserDefaults& defaults, const QString& key, const QString& transformerName)
{
    const auto show = [field, &defaults, key, transformerName] {
        const auto transformer = ValueTransformer::valueTransformerForName(transformerName);
        const QVariant value = defaults.objectForKey(key);
        field->setText((transformer ? transformer->transformedValue(value) : value).toString());
    };
    follow(field, defaults, key, show);
    QObject::connect(field, &QLineEdit::editingFinished, field, [field, &defaults, key, transformerName, show] {
        const auto transformer = ValueTransformer::valueTransformerForName(transformerName);
        const QVariant value = transformer ? transformer->reverseTransformedValue(field->text()) : field->text();
        if (!value.isValid()) {
            QApplication::beep();
            show();
            return;
        }
        defaults.setObject(value, key);
        show(); // in the transformer's own form, also when the value did not change
    });
}

} // namespace CKDefaultsBinding
