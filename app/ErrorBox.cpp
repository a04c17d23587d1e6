#include "app/ErrorBox.h"

#include "app/dialogs/TitleRoom.h"

#include <QMessageBox>

void ShowErrorBox(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Morwick"), ErrorSentence(message), QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("errorBox"));
    MakeRoomForTitle(box);
    box.exec();
}
