#include "commands/FieldState.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

void SetFieldState(QWidget* field, bool enabled) {
    field->setEnabled(enabled);
    const QColor base =
        QApplication::palette(field).color(QPalette::Active, enabled ? QPalette::Base : QPalette::Button);
    QPalette palette = field->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, base);
    field->setPalette(palette);
}
