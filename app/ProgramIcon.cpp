#include "app/ProgramIcon.h"

#include <QGuiApplication>

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/morwick-%1.png").arg(size), QSize(size, size));
    return icon;
}

void SetProgramIdentity() {
    QGuiApplication::setApplicationName(QStringLiteral("Morwick"));
    QGuiApplication::setWindowIcon(ProgramIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("morwick"));
}
