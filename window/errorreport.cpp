#include "errorreport.h"

#include "form1layout.h"
#include "platformerror.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <new>

void ReportUntrappedError(QWidget *window, const std::exception &error)
{
    int number = PlatformError::InternalError;
    QString description = QString::fromLocal8Bit(error.what());
    if (const auto *platform = dynamic_cast<const PlatformError *>(&error)) {
        number = platform->number();
        description = platform->description();
    } else if (dynamic_cast<const std::bad_alloc *>(&error)) {
        number = PlatformError::OutOfMemory;
        description = QCoreApplication::translate("Form1", "Out of memory.");
    }

    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(Form1Layout::Caption),
                    QCoreApplication::translate("Form1", "Run-time error '%1':\n\n%2")
                            .arg(number)
                            .arg(description),
                    QMessageBox::Ok, window);
    box.setObjectName(QStringLiteral("UntrappedErrorReport"));
    box.exec();
}
