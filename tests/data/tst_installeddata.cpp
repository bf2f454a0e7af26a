// Installs the build into a prefix of its own, as `cmake --install` and the Debian package
// do, and checks the files that tell the desktop and the user about the programs: each
// passes its format's own checker, and every name that one of them gives leads to an
// installed file.

#include "appinfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {

constexpr int ToolTimeoutMs = 60 * 1000;

struct Run
{
    int exitCode = -1;
    QString output;
};

Run run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(ToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.output = program + QStringLiteral(" did not finish: ") + process.errorString();
        return result;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    result.output = QString::fromLocal8Bit(process.readAll());
    return result;
}

// The value of a key in the [Desktop Entry] group; the entries here hold no other group.
QString desktopValue(const QString &path, const QString &key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QString prefix = key + QLatin1Char('=');
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed();
    }
    return {};
}

// The texts of every element of that name in an XML file.
QStringList xmlTexts(const QString &path, const QString &element)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    QStringList texts;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == element)
            texts.append(xml.readElementText().trimmed());
    }
    return texts;
}

// The paths of installed files that a manual page's FILES section lists, each the tag of
// a .TP paragraph, as written there: relative to the installation prefix, with groff's
// escapes taken out. A path from / or ~ names a file the person or the system provides.
QStringList manualPageFiles(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList files;
    bool inFiles = false;
    QString previous;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String(".SH")))
            inFiles = line == QLatin1String(".SH FILES");
        else if (inFiles && previous == QLatin1String(".TP")
            && line.startsWith(QLatin1String(".I "))) {
            const QString file = line.mid(3).remove(QLatin1String("\\%")).remove(u'\\');
            if (!file.startsWith(u'/') && !file.startsWith(u'~'))
                files.append(file);
        }
        previous = line;
    }
    return files;
}

} // namespace

class TestInstalledData : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void checkersAccept_data();
    void checkersAccept();
    void namesLeadToInstalledFiles_data();
    void namesLeadToInstalledFiles();

private:
    QString installed(const QString &relative) const
    {
        return m_prefix + QLatin1Char('/') + relative;
    }
    QString desktopEntry() const;
    QString metainfo() const;

    QTemporaryDir m_root;
    QString m_prefix;
};

void TestInstalledData::initTestCase()
{
    QVERIFY(m_root.isValid());
    m_prefix = m_root.filePath(QStringLiteral("prefix"));
    const Run install = run(QStringLiteral("cmake"),
        { QStringLiteral("--install"), QStringLiteral(BUILD_DIR), QStringLiteral("--prefix"),
            m_prefix });
    QVERIFY2(install.exitCode == 0, qPrintable(install.output));

    // One desktop entry and one AppStream file, whatever they are called: the rows below
    // check their names against everything else.
    for (const QString &folder :
        { QStringLiteral("share/applications"), QStringLiteral("share/metainfo") }) {
        const QStringList files = QDir(installed(folder)).entryList(QDir::Files);
        QVERIFY2(files.size() == 1, qPrintable(folder + QStringLiteral(": ") + files.join(u' ')));
    }
}

QString TestInstalledData::desktopEntry() const
{
    const QDir folder(installed(QStringLiteral("share/applications")));
    return folder.filePath(folder.entryList(QDir::Files).value(0));
}

QString TestInstalledData::metainfo() const
{
    const QDir folder(installed(QStringLiteral("share/metainfo")));
    return folder.filePath(folder.entryList(QDir::Files).value(0));
}

void TestInstalledData::checkersAccept_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    // A checker that reports problems only as messages, not through its exit status.
    QTest::addColumn<bool>("mustBeSilent");

    QTest::newRow("desktop entry passes desktop-file-validate")
        << QStringLiteral("desktop-file-validate") << QStringList { desktopEntry() } << true;
    // validate-tree also checks that the AppStream launchable names an installed entry.
    QTest::newRow("AppStream data passes appstreamcli validate-tree")
        << QStringLiteral("appstreamcli")
        << QStringList { QStringLiteral("validate-tree"), QStringLiteral("--no-net"), m_prefix }
        << false;
    const QStringList pages
        = QDir(installed(QStringLiteral("share/man/man1"))).entryList(QDir::Files);
    for (const QString &page : pages) {
        QTest::addRow("manual page %s formats without a groff warning", qPrintable(page))
            << QStringLiteral("groff")
            << QStringList { QStringLiteral("-man"), QStringLiteral("-ww"), QStringLiteral("-z"),
                   QStringLiteral("-Tutf8"), installed(QStringLiteral("share/man/man1/") + page) }
            << true;
    }
}

void TestInstalledData::checkersAccept()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(bool, mustBeSilent);

    const Run result = run(program, arguments);

    QVERIFY2(result.exitCode == 0, qPrintable(result.output));
    if (mustBeSilent)
        QVERIFY2(result.output.isEmpty(), qPrintable(result.output));
}

void TestInstalledData::namesLeadToInstalledFiles_data()
{
    QTest::addColumn<QStringList>("files");

    const QString entry = desktopEntry();
    QTest::newRow("the desktop entry's Exec is an installed program")
        << QStringList { QStringLiteral("bin/") + desktopValue(entry, QStringLiteral("Exec")) };
    QTest::newRow("the desktop entry's Icon is an installed icon")
        << QStringList { QStringLiteral("share/icons/hicolor/scalable/apps/")
               + desktopValue(entry, QStringLiteral("Icon")) + QStringLiteral(".svg") };

    QStringList provided;
    for (const QString &binary : xmlTexts(metainfo(), QStringLiteral("binary")))
        provided.append(QStringLiteral("bin/") + binary);
    QTest::newRow("every binary the AppStream data provides is installed") << provided;

    QStringList pages;
    for (const QString &program : QDir(installed(QStringLiteral("bin"))).entryList(QDir::Files))
        pages.append(QStringLiteral("share/man/man1/") + program + QStringLiteral(".1"));
    QTest::newRow("every installed program has a manual page") << pages;

    QStringList named;
    for (const QString &page : pages)
        named += manualPageFiles(installed(page));
    QTest::newRow("every file a manual page names is installed") << named;

    // What the programs tell the desktop about themselves (the Wayland application id, a
    // notification's desktop entry and icon) must name what is installed.
    QTest::newRow("appinfo.h names the installed desktop entry")
        << QStringList { QStringLiteral("share/applications/")
               + QLatin1String(AppInfo::DesktopEntryId) + QStringLiteral(".desktop") };
    QTest::newRow("appinfo.h names the installed icon")
        << QStringList { QStringLiteral("share/icons/hicolor/scalable/apps/")
               + QLatin1String(AppInfo::IconName) + QStringLiteral(".svg") };
    QTest::newRow("appinfo.h names the installed AppStream data")
        << QStringList { QStringLiteral("share/metainfo/") + QLatin1String(AppInfo::ComponentId)
               + QStringLiteral(".metainfo.xml") };
}

void TestInstalledData::namesLeadToInstalledFiles()
{
    QFETCH(QStringList, files);

    QVERIFY(!files.isEmpty());
    for (const QString &file : files)
        QVERIFY2(QFileInfo(installed(file)).isFile(), qPrintable(installed(file)));
}

QTEST_GUILESS_MAIN(TestInstalledData)
#include "tst_installeddata.moc"
