#include "diagnostics.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace Tarnwick {

namespace {

bool isNoise(const QString &line)
{
    // as announces each file before its messages, and ld names the function
    // before an unresolved reference; the lines that follow say it all.
    static const QRegularExpression inFunction(QStringLiteral(": in function [`'].*'[:]?$"));
    return line.trimmed().isEmpty() || line.endsWith(QLatin1String("Assembler messages:"))
        || inFunction.match(line).hasMatch();
}

bool startsWithFileAndLine(const QString &line)
{
    static const QRegularExpression fileLine(QStringLiteral("^[^\\s:][^:]*:\\d+:"));
    return fileLine.match(line).hasMatch();
}

QString stripToolPrefix(const QString &line, const QString &toolProgram)
{
    if (toolProgram.isEmpty())
        return line;
    for (const QString &name : { toolProgram, QFileInfo(toolProgram).fileName() }) {
        const QString prefix = name + QLatin1Char(':');
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed();
    }
    return line;
}

} // namespace

DiagnosticRewriter::DiagnosticRewriter(
    const QString &sourceAsGiven, const QString &sourceAsPassed, const QString &workFolder)
    : m_sourceAsGiven(sourceAsGiven)
    , m_sourceAsPassed(sourceAsPassed)
    , m_workFolder(workFolder)
{
}

QStringList DiagnosticRewriter::rewrite(const QString &toolOutput, const QString &toolProgram) const
{
    QStringList result;
    const QStringList lines = toolOutput.split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        line = stripToolPrefix(line, toolProgram);
        if (isNoise(line))
            continue;
        result.append(rewriteLine(line));
    }
    return result;
}

QString DiagnosticRewriter::rewriteLine(QString line) const
{
    const QString passedPrefix = m_sourceAsPassed + QLatin1Char(':');
    if (line.startsWith(passedPrefix))
        line.replace(0, m_sourceAsPassed.size(), m_sourceAsGiven);

    // Our intermediate files (object, linked program) mean nothing to the
    // user; they all stand for their source.
    if (!m_workFolder.isEmpty()) {
        const QRegularExpression workFile(
            QRegularExpression::escape(m_workFolder) + QStringLiteral("/[^\\s:()]*"));
        line.replace(workFile, m_sourceAsGiven);
    }

    if (line.startsWith(m_sourceAsGiven + QLatin1Char(':')) || startsWithFileAndLine(line))
        return line;
    // "ld: /tmp/.../source.elf section ... will not fit": the file became
    // the subject of the sentence; make it the message's location instead.
    if (line.startsWith(m_sourceAsGiven + QLatin1Char(' ')))
        line.remove(0, m_sourceAsGiven.size() + 1);
    return m_sourceAsGiven + QStringLiteral(": ") + line;
}

} // namespace Tarnwick
