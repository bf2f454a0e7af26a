#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

namespace Tarnwick {

// One run of the binutils chain: source -> object -> linked program -> flat
// cartridge image with its header completed, written in one piece.
class CartridgeBuild
{
public:
    CartridgeBuild(const QString &source, const QString &output, QTextStream &errors);

    // Returns the process exit status.
    int run();

private:
    enum class ToolResult { Finished, Failed };

    bool checkSource();
    bool findTools();
    ToolResult runTool(
        const QString &program, const QStringList &arguments, const QString &workFolder);
    bool writeImage(const QByteArray &image);
    bool writeInto(const QByteArray &image);
    void report(const QString &message);

    QString m_source;
    QString m_output;
    QString m_sourceAbsolute;
    QTextStream &m_errors;
    QString m_as;
    QString m_ld;
    QString m_objcopy;
};

} // namespace Tarnwick
