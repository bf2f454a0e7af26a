// A stand-in for the assembler that records how it was started: its arguments, working
// directory, session and open descriptors, as JSON in $RECORDER_DIR/<pid>.json. With
// RECORDER_OUTPUT set it writes that file at the end, as the real one writes its image;
// with RECORDER_WAIT_FOR set as well, it writes it only once that file exists (it gives up
// after a minute), so a test decides when the assembler is done, whatever the load.
#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QThread>

#include <dirent.h>
#include <unistd.h>

namespace {

// Listed before anything else is opened, and without the descriptor of the listing itself.
QJsonArray openDescriptors()
{
    QJsonArray fds;
    DIR *dir = ::opendir("/proc/self/fd");
    if (!dir)
        return fds;
    const int own = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        bool ok = false;
        const int fd = QByteArray(entry->d_name).toInt(&ok);
        if (!ok || fd == own)
            continue;
        char target[4096];
        const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
        const ssize_t length = ::readlink(link.constData(), target, sizeof target - 1);
        fds.append(QJsonObject { { QStringLiteral("fd"), fd },
            { QStringLiteral("target"),
                QString::fromLocal8Bit(target, length > 0 ? length : 0) } });
    }
    ::closedir(dir);
    return fds;
}

} // namespace

int main(int argc, char *argv[])
{
    const QJsonArray fds = openDescriptors();
    QJsonArray arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QCoreApplication app(argc, argv);

    const QJsonObject record {
        { QStringLiteral("arguments"), arguments },
        { QStringLiteral("cwd"), QDir::currentPath() },
        { QStringLiteral("pid"), static_cast<qint64>(::getpid()) },
        { QStringLiteral("sid"), static_cast<qint64>(::getsid(0)) },
        { QStringLiteral("fds"), fds },
    };
    QSaveFile out(
        qEnvironmentVariable("RECORDER_DIR") + u'/' + QString::number(::getpid()) + u".json");
    if (!out.open(QIODevice::WriteOnly))
        return 3;
    out.write(QJsonDocument(record).toJson());
    if (!out.commit())
        return 3;

    const QString image = qEnvironmentVariable("RECORDER_OUTPUT");
    const QString go = qEnvironmentVariable("RECORDER_WAIT_FOR");
    if (!go.isEmpty()) {
        const QDeadlineTimer deadline(60000);
        while (!QFile::exists(go)) {
            if (deadline.hasExpired())
                return 3;
            QThread::msleep(20);
        }
    }
    if (!image.isEmpty()) {
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || file.write("image") != 5)
            return 3;
    }
    return 0;
}
