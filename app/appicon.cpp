#include "app/appicon.h"

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/tavikstudio-%1.png").arg(size), QSize(size, size));
    return icon;
}
