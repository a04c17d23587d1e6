#include "app/dialogs/FieldState.h"

#include <QApplication>
#include <QComboBox>
#include <QPalette>
#include <QWidget>

void SetFieldState(QWidget* field, bool enabled) {
    field->setEnabled(enabled);
    const QColor colour =
        QApplication::palette(field).color(QPalette::Active, enabled ? QPalette::Base : QPalette::Button);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, colour);
    // A drop-down list that allows no typing paints its face in the button colour.
    if (qobject_cast<QComboBox*>(field))
        palette.setColor(QPalette::Button, colour);
    field->setPalette(palette);
}
