#include "assemblecommand.h"

namespace {

QString quotedIfNeeded(const QString &piece)
{
    const bool hasBlank = piece.contains(u' ') || piece.contains(u'\t');
    if (!hasBlank)
        return piece;

    // Backslashes are literal except before a double quote: a run of them before a quote
    // of the piece, or before the closing quote, is doubled to stay literal, and each
    // quote of the piece is escaped, so that the piece splits back exactly as it is.
    QString quoted(u'"');
    qsizetype backslashes = 0;
    for (const QChar c : piece) {
        if (c == u'\\') {
            ++backslashes;
        } else {
            if (c == u'"')
                quoted += QString(backslashes + 1, u'\\');
            backslashes = 0;
        }
        quoted += c;
    }
    return quoted + QString(backslashes, u'\\') + u'"';
}

} // namespace

QString BuildAssembleCommand(const QString &sourcePath, const QString &outputName)
{
    return u"tarnwick " + quotedIfNeeded(sourcePath) + u' '
            + quotedIfNeeded(outputName + u".gba");
}
