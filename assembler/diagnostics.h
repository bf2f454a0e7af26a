#pragma once

#include <QString>
#include <QStringList>

namespace Tarnwick {

// binutils reports problems against the paths we hand it: the absolute
// source path and files in our temporary folder. The user only knows the
// path they typed, so every message is rewritten to "SOURCE:LINE: message"
// (or "SOURCE: message" when no line is known) with that path.
class DiagnosticRewriter
{
public:
    DiagnosticRewriter(
        const QString &sourceAsGiven, const QString &sourceAsPassed, const QString &workFolder);

    // toolProgram is the path the tool was started with; some tools prefix
    // their messages with it.
    QStringList rewrite(const QString &toolOutput, const QString &toolProgram) const;

private:
    QString rewriteLine(QString line) const;

    QString m_sourceAsGiven;
    QString m_sourceAsPassed;
    QString m_workFolder;
};

} // namespace Tarnwick
