#include "app/ErrorBox.h"

#include "app/dialogs/TitleRoom.h"

#include <QMessageBox>

QString ErrorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void ShowErrorBox(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Morwick"), ErrorBoxText(message), QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("errorBox"));
    MakeRoomForTitle(box);
    box.exec();
}
