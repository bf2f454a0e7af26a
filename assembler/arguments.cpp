#include "arguments.h"

namespace Tarnwick {

namespace {

constexpr int ExpectedArguments = 2;

} // namespace

QString Arguments::usage()
{
    return QStringLiteral("usage: tarnwick SOURCE OUTPUT   (assembles SOURCE into the cartridge "
                          "image OUTPUT)");
}

QString Arguments::quoted(const QString &argument)
{
    QString result = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            result += QLatin1Char('\\') + c;
        else if (c == QLatin1Char('\n'))
            result += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            result += QStringLiteral("\\t");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            result += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            result += c;
    }
    return result + QLatin1Char('"');
}

Invocation Arguments::parse(const QStringList &arguments)
{
    Invocation invocation;
    if (arguments.size() == 1
        && (arguments.first() == QLatin1String("--help")
            || arguments.first() == QLatin1String("-h"))) {
        invocation.kind = Invocation::Kind::Help;
        return invocation;
    }
    if (arguments.size() != ExpectedArguments) {
        QString problem = QStringLiteral("tarnwick: expected %1 arguments, got %2")
                              .arg(ExpectedArguments)
                              .arg(arguments.size());
        if (!arguments.isEmpty()) {
            QStringList shown;
            for (const QString &argument : arguments)
                shown.append(quoted(argument));
            problem += QStringLiteral(": ") + shown.join(QLatin1Char(' '));
        }
        invocation.problem = problem;
        return invocation;
    }
    for (const QString &argument : arguments) {
        if (argument.isEmpty()) {
            invocation.problem = QStringLiteral("tarnwick: empty argument: ")
                + quoted(arguments.at(0)) + QLatin1Char(' ') + quoted(arguments.at(1));
            return invocation;
        }
    }
    invocation.kind = Invocation::Kind::Assemble;
    invocation.source = arguments.at(0);
    invocation.output = arguments.at(1);
    return invocation;
}

} // namespace Tarnwick
