#pragma once
// Two-way links between the preference panes' controls and the user defaults: the control
// shows the key's value (the stored one, else the registered one) and follows every later
// change of the key; what the user enters is stored under the key. The link lasts as long
// as the control.
//
// Main thread only.

#include <QString>

class QAbstractButton;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class UserDefaults;

namespace CKDefaultsBinding {

// The item whose data (its tag) equals the key's integer is selected; choosing an item
// stores its tag. A value no item has leaves the pop-up without a selection.
void bindSelectedTag(QComboBox* popUp, UserDefaults& defaults, const QString& key);
void bindChecked(QAbstractButton* checkBox, UserDefaults& defaults, const QString& key);
// The spin box's range is the formatter's: values outside it are brought inside when typed.
void bindValue(QDoubleSpinBox* spinBox, UserDefaults& defaults, const QString& key);
// The field shows the key's value through the named value transformer and stores what is
// typed through its reverse; text the transformer cannot read is refused (the field shows
// the stored value again and nothing is stored).
void bindText(QLineEdit* field, UserDefaults& defaults, const QString& key, const QString& transformerName);

} // namespace CKDefaultsBinding
