#pragma once

#include <QString>
#include <QStringList>

// Splits one command-line string into arguments the way a program started from it is
// expected to: arguments are separated by runs of blanks and tabs; a double-quoted span
// keeps its blanks and loses its quotes; backslashes are literal except right before a
// double quote, where 2n backslashes give n (and the quote opens or closes a span) and
// 2n+1 give n and a literal quote. No other character is special: nothing is expanded.
QStringList SplitCommandLine(const QString &line);
