#include "commandline.h"

QStringList SplitCommandLine(const QString &line)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool inQuotes = false;

    const qsizetype length = line.size();
    qsizetype i = 0;
    while (i < length) {
        const QChar c = line.at(i);
        if (!inQuotes && (c == u' ' || c == u'\t')) {
            if (inArgument) {
                arguments.append(current);
                current.clear();
                inArgument = false;
            }
            ++i;
            continue;
        }
        inArgument = true;
        if (c == u'\\') {
            qsizetype run = 0;
            while (i + run < length && line.at(i + run) == u'\\')
                ++run;
            i += run;
            if (i < length && line.at(i) == u'"') {
                current.append(QString(run / 2, u'\\'));
                if (run % 2 == 1) {
                    current.append(u'"');
                    ++i;
                }
                // An even run leaves the quote to open or close a span below.
            } else {
                current.append(QString(run, u'\\'));
            }
            continue;
        }
        if (c == u'"') {
            inQuotes = !inQuotes;
            ++i;
            continue;
        }
        current.append(c);
        ++i;
    }
    if (inArgument)
        arguments.append(current);
    return arguments;
}
