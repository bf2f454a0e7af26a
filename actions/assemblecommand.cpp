#include "assemblecommand.h"

namespace {

QString quotedIfNeeded(const QString &piece)
{
    const bool hasBlank = piece.contains(u' ') || piece.contains(u'\t');
    if (!hasBlank || piece.contains(u'"'))
        return piece;

    // Backslashes are literal except before a double quote, so only the run right
    // before the closing quote needs doubling to stay literal.
    qsizetype trailing = 0;
    while (trailing < piece.size() && piece.at(piece.size() - 1 - trailing) == u'\\')
        ++trailing;
    return u'"' + piece + QString(trailing, u'\\') + u'"';
}

} // namespace

QString BuildAssembleCommand(const QString &sourcePath, const QString &outputName)
{
    return u"tarnwick " + quotedIfNeeded(sourcePath) + u' '
            + quotedIfNeeded(outputName + u".gba");
}
